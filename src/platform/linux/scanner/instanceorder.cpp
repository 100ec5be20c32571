#include "platform/linux/scanner/instanceorder.h"

#include <algorithm>
#include <tuple>
#include <unordered_set>

namespace Qolvi_Desktop_Agent::linux_backend {

namespace {

using Process = ScannedProcess;
using Processes = std::unordered_map<pid_t, Process>;
using Identifiers = std::unordered_map<pid_t, const std::string *>;

const std::string unknown(unknownProgram);

// What each process is reported as: a claim of an installed application by what the candidate
// controls (a window, a unit, a launcher's variable, an entry of their own) stands only in a
// unit where a process that is that application by its own file runs; else the process is an
// unknown program.
Identifiers reportedIdentifiers(const Processes &processes) {
    std::unordered_set<std::string> proved;
    for (const auto &[pid, process] : processes) {
        if (!process.claim && !process.unitPath.empty() && !process.identifier.empty()) {
            proved.insert(process.unitPath + '\n' + process.identifier);
        }
    }
    Identifiers identifiers;
    for (const auto &[pid, process] : processes) {
        identifiers[pid] =
            process.claim && !proved.contains(process.unitPath + '\n' + process.identifier)
                ? &unknown
                : &process.identifier;
    }
    return identifiers;
}

// A child that has its parent's identifier belongs to its parent's instance.
pid_t instanceRoot(const Processes &processes, const Identifiers &identifiers, pid_t pid,
                   const Process &process, unsigned long long scan) {
    pid_t root = pid;
    const Process *current = &process;
    const std::string &identifier = *identifiers.at(pid);
    for (std::size_t steps = 0; steps < processes.size(); ++steps) {
        const auto parent = processes.find(current->parent);
        if (parent == processes.end() || parent->second.seenInScan != scan ||
            *identifiers.at(parent->first) != identifier || !parent->second.unitPath.empty()) {
            break;
        }
        root = parent->first;
        current = &parent->second;
    }
    return root;
}

} // namespace

std::vector<std::string> orderedIdentifiers(const Processes &processes, unsigned long long scan) {
    // Each instance is ordered by its first process: the earliest start, then the lowest PID.
    struct Instance {
        unsigned long long startTime;
        pid_t pid;
        const std::string *identifier;
    };
    const auto earlier = [](const Instance &a, const Instance &b) {
        return std::tie(a.startTime, a.pid) < std::tie(b.startTime, b.pid);
    };
    std::unordered_map<std::string, Instance> byUnit;
    std::unordered_map<pid_t, Instance> byRootProcess;
    const auto include = [&earlier](auto &instances, const auto &key, const Instance &candidate) {
        auto [slot, inserted] = instances.try_emplace(key, candidate);
        if (!inserted && earlier(candidate, slot->second)) {
            slot->second = candidate;
        }
    };
    const Identifiers reported = reportedIdentifiers(processes);
    for (const auto &[pid, process] : processes) {
        const std::string &identifier = *reported.at(pid);
        if (identifier.empty()) {
            continue;
        }
        const Instance candidate{process.startTime, pid, &identifier};
        if (process.unitPath.empty()) {
            include(byRootProcess, instanceRoot(processes, reported, pid, process, scan),
                    candidate);
        } else {
            // A unit is one instance of each application that names processes in it.
            include(byUnit, process.unitPath + '\n' + identifier, candidate);
        }
    }
    // A helper that left its parent (a crash reporter that daemonized) is part of the running
    // application it helps; alone, it is the application still running.
    // The applications with an instance that is no helper.
    std::unordered_set<std::string> runningApplications;
    for (const auto &[unit, instance] : byUnit) {
        runningApplications.insert(*instance.identifier);
    }
    for (const auto &[root, instance] : byRootProcess) {
        if (!processes.at(root).helper) {
            runningApplications.insert(*instance.identifier);
        }
    }
    std::vector<Instance> ordered;
    ordered.reserve(byUnit.size() + byRootProcess.size());
    for (const auto &[unit, instance] : byUnit) {
        ordered.push_back(instance);
    }
    for (const auto &[root, instance] : byRootProcess) {
        if (!processes.at(root).helper || !runningApplications.contains(*instance.identifier)) {
            ordered.push_back(instance);
        }
    }
    std::sort(ordered.begin(), ordered.end(), earlier);
    std::vector<std::string> identifiers;
    identifiers.reserve(ordered.size());
    for (const Instance &instance : ordered) {
        identifiers.push_back(*instance.identifier);
    }
    return identifiers;
}

} // namespace Qolvi_Desktop_Agent::linux_backend
