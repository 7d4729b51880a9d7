// A program with a page, measured: started in folders of its own, and the CPU use of its process and
// of every process it started (the page's browser processes), from /proc.
#pragma once

#include <dirent.h>
#include <stdlib.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_support.h"

namespace bench {

// A process and all its descendants, each with its ticks of CPU time (user + system).
inline std::vector<std::pair<pid_t, long long>> treeProcesses(pid_t root) {
    std::vector<std::pair<pid_t, pid_t>> parents;  // pid, parent
    std::vector<std::pair<pid_t, long long>> cpu;
    DIR* proc = opendir("/proc");
    if (!proc) return {};
    while (dirent* entry = readdir(proc)) {
        pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
        if (pid <= 0) continue;
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        size_t close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 2));
        std::string field;
        std::vector<std::string> fields;
        while (rest >> field) fields.push_back(field);
        if (fields.size() < 13) continue;
        parents.emplace_back(pid, static_cast<pid_t>(std::atoi(fields[1].c_str())));
        cpu.emplace_back(pid, std::atoll(fields[11].c_str()) + std::atoll(fields[12].c_str()));
    }
    closedir(proc);
    std::vector<pid_t> tree{root};
    for (bool grew = true; grew;) {
        grew = false;
        for (auto [pid, parent] : parents) {
            if (std::find(tree.begin(), tree.end(), parent) != tree.end() &&
                std::find(tree.begin(), tree.end(), pid) == tree.end()) {
                tree.push_back(pid);
                grew = true;
            }
        }
    }
    std::vector<std::pair<pid_t, long long>> processes;
    for (auto [pid, ticks] : cpu) {
        if (std::find(tree.begin(), tree.end(), pid) != tree.end()) processes.emplace_back(pid, ticks);
    }
    return processes;
}

// Ticks of CPU time (user + system) of a process and all its descendants.
inline long long treeCpuTicks(pid_t root) {
    long long total = 0;
    for (auto [pid, ticks] : treeProcesses(root)) total += ticks;
    return total;
}

// The proportional set size of a process and all its descendants in KiB (pages shared between them
// counted once in all), and how many processes that is.
inline std::pair<long long, size_t> treePssKiB(pid_t root) {
    long long total = 0;
    const auto processes = treeProcesses(root);
    for (auto [pid, ticks] : processes) {
        std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
        for (std::string line; std::getline(rollup, line);) {
            if (line.rfind("Pss:", 0) == 0) total += std::atoll(line.c_str() + 4);
        }
    }
    return {total, processes.size()};
}

// Percent of one core that the process tree used over `seconds`.
inline double treeCpuPercent(pid_t root, int seconds) {
    long long before = treeCpuTicks(root);
    int64_t start = monotonicMicros();
    sleep(static_cast<unsigned>(seconds));
    long long after = treeCpuTicks(root);
    double elapsed = static_cast<double>(monotonicMicros() - start) / 1e6;
    return 100.0 * static_cast<double>(after - before) / static_cast<double>(sysconf(_SC_CLK_TCK)) / elapsed;
}

// Runs `args` (the program first) in a child process whose data and user folders (LOCALAPPDATA, HOME
// and the XDG folders) are `folder`; the child's pid.
inline pid_t startInFolder(const char* folder, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t child = fork();
    if (child == 0) {
        for (const char* name :
             {"LOCALAPPDATA", "HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME"}) {
            setenv(name, folder, 1);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    return child;
}

// Waits for a page's start-up to end: the window opens, the page loads, and the browser's start-up
// work ends (it goes on for a while after the page shows): at least 30 s, then until two seconds in
// a row use less than a tenth of a core (at most 60 s).
inline void waitForQuiet(pid_t child) {
    sleep(30);
    for (int waited = 30; waited < 60 && treeCpuPercent(child, 2) >= 10.0; waited += 2) {
    }
}

}  // namespace bench
