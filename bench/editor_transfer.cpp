// The step editor's traffic through the real browser window (the webview library on this system's
// engine): a recording of 1,000,000 steps (or the count given) fetched by the page with the
// program's own calls (readRecording, written on the macro worker, then getMacroJob, whose reply
// the browser parses), and sent back whole (saveRecording: the call with the text, then the job that
// reads it and replaces the recording). Times as the page sees them, median of three:
//
//   editor_transfer steps=1000000 text_mb=… reply_mb=… job_ms=… reply_ms=… fetch_ms=… send_call_ms=…
//   saved_ms=…
//
// job_ms and reply_ms: the program's part alone (the job that writes the text; the reply's text).
// fetch_ms: readRecording to the reply in the page; send_call_ms: the saveRecording call until it
// returns; saved_ms: from that call to its job done. Runs on the current X display (Xvfb).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "app/webview.h"
#include "bridge/bindings.h"
#include "bridge/macro_jobs.h"
#include "platform/platform.h"
#include "state/state.h"

namespace {

// Pointer moves 4 ms apart with a click every 50 steps, times from a 10 MHz counter.
std::vector<rv::MacroEvent> recording(size_t count) {
    std::vector<rv::MacroEvent> events(count);
    for (size_t i = 0; i < count; ++i) {
        rv::MacroEvent& e = events[i];
        e.time = static_cast<double>(i * 40013) / 1e7;
        e.x = static_cast<int32_t>(i % 1920), e.y = static_cast<int32_t>((i * 7) % 1080);
        if (i % 50 == 10 || i % 50 == 11) {
            e.kind = rv::kButton;
            e.flags = i % 50 == 10 ? 0x0002u : 0x0004u;  // left down, left up
        }
    }
    return events;
}

const char* kPage = R"(<!doctype html><html><body><p id=say>measuring</p><script>
async function job(started) {
  const id = await started;
  for (;;) {
    const r = await window.getMacroJob(id);
    r.id = id;
    if (r.done) return r;
    await new Promise((go) => setTimeout(go, 5));
  }
}
async function once() {
  const t0 = performance.now();
  const r = await job(window.readRecording());
  const t1 = performance.now();
  let text = r.text;
  for (let part = 1; part < r.parts; part++) text += (await window.getMacroJob(r.id, part)).text;
  const t2 = performance.now();
  // Sent as the editor sends it: parts of about 2 MB cut at line ends.
  const parts = [];
  for (let at = 0; at < text.length;) {
    const end = at + 2097152 < text.length ? text.indexOf('\n', at + 2097152) + 1 : text.length;
    parts.push(text.slice(at, end));
    at = end;
  }
  let id = 0, longest = 0;
  for (let k = 0; k < parts.length; k++) {
    const c = performance.now();
    id = await window.saveRecording(parts[k], k, parts.length);
    longest = Math.max(longest, performance.now() - c);
  }
  const t3 = performance.now();
  const s = await job(Promise.resolve(id));
  const t4 = performance.now();
  return [t1 - t0, t2 - t0, t3 - t2, t4 - t2, longest, text.length, s.ok ? 1 : 0];
}
(async () => {
  const runs = [];
  for (let i = 0; i < 3; i++) runs.push(await once());
  window.report(JSON.stringify(runs));
})();
</script></body></html>)";

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "editor_transfer needs an X display (DISPLAY)\n");
        return 1;
    }
    const size_t steps = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000000;
    plat::initProcess();
    std::string self = plat::exePath();
    std::string library = self.substr(0, self.rfind('/')) + "/../libwebview.so.0.12";
    std::string error;
    rv::Webview view;
    if (!rv::Webview::loadLibrary(error, library) || !view.create()) {
        std::fprintf(stderr, "editor_transfer: %s\n", error.empty() ? "no browser window" : error.c_str());
        return 1;
    }
    rv::profiles = {rv::Profile{"bench", "", recording(steps)}};
    rv::currentProfile = 0;
    // The program's part alone, for comparison: the job that writes the text, and its reply.
    auto clock = [] { return std::chrono::steady_clock::now(); };
    auto began = clock();
    int64_t job = std::strtoll(rv::startMacroJob("readRecording", "[]").c_str(), nullptr, 10);
    rv::runNextMacroJob();
    auto written = clock();
    size_t replyBytes = rv::macroJobText(job).size();
    auto replied = clock();
    const double jobMs = std::chrono::duration<double, std::milli>(written - began).count();
    const double replyMs = std::chrono::duration<double, std::milli>(replied - written).count();
    std::thread worker(&rv::macroWorkerThread);
    for (const rv::MainBinding& binding : rv::pageBindings()) {
        std::string name = binding.name;
        if (name == "readRecording" || name == "saveRecording" || name == "getMacroJob")
            view.bind(name, binding.call);
    }
    std::string result;
    view.bind("report", [&](const std::string& request) {
        result = request;
        view.terminate();
        return std::string();
    });
    view.setSize(400, 300, rv::SizeHint{});
    view.setHtml(kPage);
    view.run();
    rv::appRunning = false;
    worker.join();

    // [["[[fetch,send,saved,chars,ok],…]"]]: the page's JSON text inside the call's argument array.
    std::vector<double> first, fetch, send, saved, longest;
    double chars = 0, ok = 1;
    const char* at = result.c_str();
    for (int run = 0; run < 3; ++run) {
        double v[7] = {};
        for (double& value : v) {
            while (*at && !(*at >= '0' && *at <= '9')) ++at;
            char* end = nullptr;
            value = std::strtod(at, &end);
            at = end;
        }
        first.push_back(v[0]), fetch.push_back(v[1]), send.push_back(v[2]), saved.push_back(v[3]);
        longest.push_back(v[4]);
        chars = v[5], ok = std::min(ok, v[6]);
    }
    auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    std::printf(
        "editor_transfer steps=%zu text_mb=%.2f first_reply_mb=%.2f job_ms=%.1f first_reply_ms=%.1f "
        "first_part_ms=%.1f fetch_ms=%.1f send_calls_ms=%.1f longest_send_call_ms=%.1f saved_ms=%.1f%s\n",
        steps, chars / 1e6, static_cast<double>(replyBytes) / 1e6, jobMs, replyMs, median(first),
        median(fetch), median(send), median(longest), median(saved), ok == 1 ? "" : " (a save was refused)");
    return 0;
}
