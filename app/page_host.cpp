// The test build's page host: the webview wrapper's interface over a plain native window without a
// browser. Page calls arrive one per line, "NAME JSON-ARRAY" (app/page_host_calls.h): the main
// instance reads them from standard input, a panel instance from its calls file. Each call runs on
// the window thread through the bound function, as the page's calls do, one at a time and in order,
// and is answered with one line. "close", and the end of standard input, close the window the way
// the user's close button does. This file replaces app/webview.cpp in that build only.
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "app/app.h"
#include "app/page_host_calls.h"
#include "app/webview.h"
#include "platform/platform.h"

namespace rv {

namespace {

// A panel instance reads its calls from <folder>/<panel name>.in and appends its answers to
// <folder>/<panel name>.out, where the folder is named by this variable; without it a panel takes
// no calls. Its standard input is not its own: the main instance starts it.
constexpr const char* kPanelCallsFolderVariable = "RAVELIN_HOST_PANELS";
constexpr int kCallsFilePollMs = 20;

std::string hostTitle;

// What the input thread shares with the window thread. The input thread may outlive the view (it can
// sit in a read of standard input when the window closes some other way), so it owns a share.
struct HostInput {
    plat::WindowHandle window = nullptr;
    // Set while the window loop runs; jobs that arrive after it ran nothing.
    std::atomic<bool> loopRunning{false};
    std::atomic<bool> ended{false};
    std::atomic<int> answered{0};
    // Runs one call on the window thread; false when no function has that name.
    std::function<bool(const std::string& name, const std::string& arguments, std::string& result)> runCall;

    // Panel calls file, or standard input when empty.
    std::string inPath, outPath;
    size_t consumed = 0;
    std::string pending;  // read, not yet taken as a line
    bool atEnd = false;
    std::mutex outMutex;
    std::string outText;

    // The next line of input; false at the end of standard input (a last line without its line end
    // still counts), or once the loop has ended.
    bool nextLine(std::string& line) {
        for (;;) {
            if (takeLine(pending, line)) return true;
            if (ended || atEnd) break;
            if (inPath.empty()) {
                char chunk[4096];
                const size_t n = plat::hostReadInput(chunk, sizeof chunk);
                if (n == 0) atEnd = true;
                pending.append(chunk, n);
                continue;
            }
            plat::sleepMs(kCallsFilePollMs);
            if (auto bytes = plat::readFile(inPath)) {
                // A file that shrank was started anew.
                if (bytes->size() < consumed) consumed = 0;
                pending += bytes->substr(consumed);
                consumed = bytes->size();
            }
        }
        if (!atEnd || pending.empty()) return false;
        line.swap(pending);
        pending.clear();
        return true;
    }

    void answer(const std::string& line) {
        if (outPath.empty()) {
            plat::hostWriteLine(line);
            return;
        }
        std::lock_guard<std::mutex> lock(outMutex);
        outText += line + "\n";
        // Whole file replaced in one step, so a reader never sees half an answer.
        const std::string temporary = outPath + ".tmp";
        if (plat::writeFile(temporary, outText)) plat::replaceFile(temporary, outPath);
    }
};

struct HostJob {
    std::shared_ptr<HostInput> input;
    PageCallLine call;
};

void runJob(void* arg) {
    std::unique_ptr<HostJob> job(static_cast<HostJob*>(arg));
    HostInput& input = *job->input;
    if (!input.loopRunning) return;
    if (job->call.kind == PageCallLine::Kind::Close) {
        plat::hostRequestClose(input.window);
        return;
    }
    std::string result;
    if (input.runCall(job->call.name, job->call.arguments, result)) {
        input.answer(jsonStringLine(result));
    } else {
        input.answer(pageCallError("no function " + job->call.name));
    }
    input.answered.fetch_add(1);
}

bool post(const std::shared_ptr<HostInput>& input, const PageCallLine& call) {
    auto* job = new HostJob{input, call};
    if (plat::hostPost(input->window, &runJob, job)) return true;
    delete job;
    return false;
}

// The input thread: one call at a time, each answered before the next line is read.
void readCalls(std::shared_ptr<HostInput> input, bool closeAtEnd) {
    int posted = 0;
    std::string line;
    while (!input->ended && input->nextLine(line)) {
        PageCallLine call = parsePageCallLine(line);
        switch (call.kind) {
            case PageCallLine::Kind::Blank:
                continue;
            case PageCallLine::Kind::Malformed:
                input->answer(pageCallError(call.arguments));
                continue;
            case PageCallLine::Kind::Close:
                post(input, call);
                return;
            case PageCallLine::Kind::Call:
                break;
        }
        if (!post(input, call)) return;
        ++posted;
        while (input->answered < posted && !input->ended) plat::sleepMs(1);
    }
    if (closeAtEnd && !input->ended) {
        PageCallLine close;
        close.kind = PageCallLine::Kind::Close;
        post(input, close);
    }
}

}  // namespace

bool Webview::loadLibrary(std::string&, const std::string&) {
    return true;
}

Webview::~Webview() {
    destroy();
}

bool Webview::create() {
    handle_ = plat::hostCreateWindow();
    return handle_ != nullptr;
}

void Webview::setTitle(const std::string& title) {
    if (!handle_) return;
    hostTitle = title;
    plat::hostSetTitle(handle_, title);
}

void Webview::setSize(int width, int height, SizeHint) {
    if (handle_) plat::hostSetClientSize(handle_, width, height);
}

void Webview::bind(const std::string& name, Binding fn) {
    if (handle_) bindings_.push_back(BoundCall{this, std::move(fn), name});
}

void Webview::setHtml(const std::string&) {}

// There is no page to run script in: the driver reads the status whenever it likes.
void Webview::eval(const std::string&) {}

void Webview::run() {
    if (!handle_) return;
    auto input = std::make_shared<HostInput>();
    input->window = handle_;
    input->runCall = [this](const std::string& name, const std::string& arguments, std::string& result) {
        for (BoundCall& binding : bindings_) {
            if (binding.name != name) continue;
            result = binding.fn(arguments);
            return true;
        }
        return false;
    };
    const bool mainInstance = hostTitle == kMainWindowTitle;
    bool takesCalls = true;
    if (!mainInstance) {
        auto folder = plat::environment(kPanelCallsFolderVariable);
        takesCalls = folder && !folder->empty();
        if (takesCalls) {
            const std::string base = *folder + plat::kPathSeparator + panelCallsName(hostTitle);
            input->inPath = base + ".in";
            input->outPath = base + ".out";
        }
    }
    input->loopRunning = true;
    if (takesCalls) std::thread(&readCalls, input, mainInstance).detach();
    plat::hostRun(handle_);
    input->loopRunning = false;
    input->ended = true;
}

void Webview::terminate() {
    if (handle_) plat::hostQuit(handle_);
}

void* Webview::nativeWindow() const {
    return handle_;
}

void* Webview::browserController() const {
    return nullptr;
}

void Webview::dispatch(std::function<void()> work) {
    if (!handle_) return;
    auto* job = new std::function<void()>(std::move(work));
    if (!plat::hostPost(
            handle_, [](void* arg) { onDispatch(nullptr, arg); }, job))
        delete job;
}

void Webview::onDispatch(void*, void* arg) {
    std::unique_ptr<std::function<void()>> job(static_cast<std::function<void()>*>(arg));
    (*job)();
}

void Webview::destroy() {
    if (!handle_) return;
    plat::hostDestroyWindow(handle_);
    handle_ = nullptr;
    bindings_.clear();
}

}  // namespace rv
