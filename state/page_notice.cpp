#include "state/page_notice.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <initializer_list>

#include "platform/platform.h"
#include "state/fnv_hash.h"
#include "state/settings.h"
#include "state/state.h"

namespace rv {

namespace {

std::atomic<void (*)()> pageTeller{nullptr};
std::atomic<void (*)()> figuresHander{nullptr};

// FNV-1a over the values in order, so that a value moving from one member to another still counts.
uint64_t fingerprint(std::initializer_list<int64_t> values, uint64_t hash = kFnvOffsetBasis) {
    for (int64_t value : values) {
        char bytes[sizeof value];
        std::memcpy(bytes, &value, sizeof value);
        hash = fnvHash({bytes, sizeof bytes}, hash);
    }
    return hash;
}

}  // namespace

void setPageTeller(void (*tell)()) {
    pageTeller.store(tell);
}

void tellPage() {
    if (void (*tell)() = pageTeller.load()) tell();
}

uint64_t pageStateSignature() {
    uint64_t hash = fingerprint({recording.load(), playing.load(), autoClicking.load(), keySpamming.load(),
                                 clickerWaiting.load(), panelHover.load(), reassignTarget.load(),
                                 reassignRefusedBy.load(), reassignRefusedCode.load(),
                                 pickLocationRequest.load(), pickSequenceRequest.load()});
    // Every setting the page reads with the status, the speed by its bits.
    for (const Setting* s = settingsBegin(); s != settingsEnd(); ++s) {
        if (s->store == SettingStore::Preferences) continue;
        int64_t value = 0;
        if (s->type == SettingType::Speed) {
            float speed = s->speed->load();
            int32_t bits = 0;
            std::memcpy(&bits, &speed, sizeof bits);
            value = bits;
        } else if (s->type == SettingType::Text) {
            value = static_cast<int64_t>(std::hash<std::string>()(s->text->load()));
        } else {
            value = static_cast<int64_t>(settingValue(*s));
        }
        hash = fingerprint({value}, hash);
    }
    return hash;
}

void tellPageOfChanges() {
    static bool noted = false;
    static uint64_t last = 0;
    uint64_t now = pageStateSignature();
    if (noted && now == last) return;
    bool first = !noted;
    noted = true;
    last = now;
    if (!first) tellPage();
}

void setFiguresHander(void (*hand)()) {
    figuresHander.store(hand);
}

int handPageFigures() {
    static bool running = false;
    static int64_t handedAt = 0;
    if (!(recording.load() || playing.load() || autoClicking.load() || keySpamming.load())) {
        running = false;
        return -1;
    }
    const int64_t now = plat::ticks();
    const int64_t period = counterFrequency * kFiguresMs / 1000;
    if (!running) {
        // What started was told as a change; the figures follow a period later.
        running = true;
        handedAt = now;
    } else if (now - handedAt >= period) {
        // Kept to the period on average, though a pass may come a little late.
        handedAt = now - handedAt < 2 * period ? handedAt + period : now;
        if (void (*hand)() = figuresHander.load()) hand();
    }
    const int64_t left = handedAt + period - now;
    return static_cast<int>(std::max<int64_t>(1, (left * 1000 + counterFrequency - 1) / counterFrequency));
}

}  // namespace rv
