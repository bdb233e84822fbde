// Runs the whole program once against the fake platform, for the scenario
// table's fake driver (fake.py). Reads the machine from standard input, one
// item a line, every text hex-encoded:
//   word T | registry T | registry-wrong-type | folder P | file P C |
//   unprotected P | uncreatable P | lock-taken | full P | hints C | key C |
//   service NAME STATE START REFUSES (REFUSES: none, stop, start or config) |
//   download ANSWER... (per request, the last repeats: hints, none, while-named-runs) |
//   launch MODE (key, no-key, half-key-killed, invisible-key, undeletable-key,
//               unreadable-key, conf-folder)
// and writes what the run left: "status N", "stdout C", "stderr C",
// "folder P", "file P C", "service NAME STATE START", "requests N".
#include <iostream>
#include <sstream>
#include <stdexcept>

#include "app/run.h"
#include "platform/paths.h"
#include "tests/fake_platform.h"

namespace {

using zephrane::testing::FakePlatform;
using zephrane::testing::FakeService;

std::string Unhex(const std::string& hex) {
    std::string text;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        text.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return text;
}

std::string Hex(const std::string& text) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char c : text) {
        hex += {kDigits[c >> 4], kDigits[c & 15]};
    }
    return hex;
}

struct Machine {
    std::vector<std::string> words;
    std::vector<std::string> answers{"hints"};
    std::string launchMode = "key";
    std::string hints;
    std::string key;
    int requests = 0;
};

void Launch(FakePlatform& platform, const Machine& machine, const std::string& program) {
    const std::string etc = zephrane::ExtractFilePath(zephrane::StripTrailingBackslash(
                                zephrane::ExtractFilePath(program))) + "etc" + zephrane::kPathSeparator;
    const std::string& mode = machine.launchMode;
    if (mode == "no-key") {
        return;
    }
    platform.files[etc + "rndc.key"] = mode == "half-key-killed" ? machine.key.substr(0, 10) : machine.key;
    if (mode == "invisible-key") {
        platform.invisible.insert(etc + "rndc.key");
    } else if (mode == "undeletable-key") {
        platform.undeletable.insert(etc + "rndc.key");
    } else if (mode == "unreadable-key") {
        platform.unreadable.insert(etc + "rndc.key");
    } else if (mode == "conf-folder") {
        platform.folders.insert(etc + "rndc.conf");
    }
}

void Read(std::istream& in, FakePlatform& platform, Machine& machine) {
    for (std::string line; std::getline(in, line);) {
        std::istringstream stream(line);
        std::vector<std::string> w;
        for (std::string word; stream >> word;) {
            w.push_back(word);
        }
        const std::string item = w.empty() ? "" : w[0];
        const bool textual = item != "service" && item != "launch" && item != "download";
        const std::string a = textual && w.size() > 1 ? Unhex(w[1]) : "";
        if (item == "word") {
            machine.words.push_back(a);
        } else if (item == "registry") {
            platform.installDir = a;
        } else if (item == "registry-wrong-type") {
            platform.registryWrongType = true;
        } else if (item == "folder") {
            platform.folders.insert(a);
        } else if (item == "file") {
            platform.files[a] = w.size() > 2 ? Unhex(w[2]) : "";
        } else if (item == "unprotected") {
            platform.unprotected.insert(a);
        } else if (item == "uncreatable") {
            platform.uncreatable.insert(a);
        } else if (item == "full") {
            platform.full.insert(a);
        } else if (item == "lock-taken") {
            platform.lockTaken = true;
        } else if (item == "hints") {
            machine.hints = a;
        } else if (item == "key") {
            machine.key = a;
        } else if (item == "launch") {
            machine.launchMode = w.at(1);
        } else if (item == "download") {
            machine.answers.assign(w.begin() + 1, w.end());
        } else if (item == "service") {
            FakeService& service = platform.services[w.at(1)];
            service.state = static_cast<zephrane::ServiceState>(std::stoi(w.at(2)));
            service.startType = static_cast<zephrane::StartType>(std::stoi(w.at(3)));
            service.canStop = w.at(4) != "stop";
            service.canStart = w.at(4) != "start";
            service.canChangeStartType = w.at(4) != "config";
        } else if (!item.empty()) {
            throw std::runtime_error("unknown item: " + line);
        }
    }
}

}  // namespace

int main() {
    FakePlatform platform;
    Machine machine;
    Read(std::cin, platform, machine);
    platform.download = [&](const std::string&) -> std::optional<std::string> {
        const std::string& answer = machine.answers[std::min<std::size_t>(machine.requests++, machine.answers.size() - 1)];
        const auto named = platform.services.find("named");
        const bool namedRuns = named != platform.services.end() && named->second.state == zephrane::ServiceState::Running;
        if (answer == "hints" || (answer == "while-named-runs" && namedRuns)) {
            return machine.hints;
        }
        return std::nullopt;
    };
    platform.launch = [&](const std::string& program, const std::string&) {
        Launch(platform, machine, program);
        return machine.launchMode != "half-key-killed";
    };
    const int status = zephrane::RunAndReport(platform, machine.words);

    std::cout << "status " << status << "\nstdout " << Hex(platform.out) << "\nstderr " << Hex(platform.err) << "\n";
    for (const std::string& folder : platform.folders) {
        std::cout << "folder " << Hex(folder) << "\n";
    }
    for (const auto& [path, content] : platform.files) {
        std::cout << "file " << Hex(path) << " " << Hex(content) << "\n";
    }
    for (const auto& [name, service] : platform.services) {
        std::cout << "service " << name << " " << static_cast<int>(service.state) << " "
                  << static_cast<int>(service.startType) << "\n";
    }
    std::cout << "requests " << machine.requests << "\n";
    return 0;
}
