// Runs the whole program once against a platform in memory, for the scenario
// table's fake driver (fake.py). Reads the machine from standard input, one
// item a line, texts hex-encoded (T, P, C):
//   word T | registry T | registry-wrong-type | folder P | file P C | unprotected P |
//   uncreatable P | full P | lock-taken | hints C | key C |
//   service NAME STATE START REFUSES   (REFUSES: none, stop, start or config) |
//   download ANSWER...   (one a request, the last repeats: hints, none, while-named-runs) |
//   launch MODE          (key, no-key, half-key-killed, invisible-key, undeletable-key,
//                         unreadable-key, conf-folder)
// and writes what the run left: "status N", "stdout C", "stderr C",
// "folder P", "file P C", "service NAME STATE START", "requests N".
#include <iostream>
#include <sstream>
#include <stdexcept>

#include "app/run.h"
#include "platform/paths.h"
#include "tests/memory_disk.h"

namespace zephrane::testing {
namespace {

std::string Bare(const std::string& path) { return StripTrailingBackslash(path); }

struct FakeService {
    ServiceState state = ServiceState::Stopped;
    StartType startType = StartType::OnDemand;
    std::string refuses = "none";
};

class FakePlatform final : public Platform {
public:
    MemoryDisk disk;
    std::string installDir;
    bool registryWrongType = false;
    std::set<std::string> unprotected, uncreatable, invisible;
    std::map<std::string, FakeService> services;
    bool lockTaken = false;
    std::string out, err;
    std::vector<std::string> answers{"hints"};
    std::string launchMode = "key", hints, key;
    int requests = 0;

    std::string ReadRegistryString(const std::string&, const std::string& value) override {
        if (registryWrongType) {
            ThrowRegistryTypeError(value);
        }
        return installDir;
    }
    bool DirectoryExists(const std::string& path) override { return disk.folders.count(Bare(path)) > 0; }
    bool FileExists(const std::string& path) override {
        return !path.empty() && path.back() != kPathSeparator && disk.files.count(path) > 0 && invisible.count(path) == 0;
    }
    bool IsProtectedFolder(const std::string& path) override { return unprotected.count(Bare(path)) == 0; }
    bool IsProtectedProgram(const std::string& path) override { return unprotected.count(path) == 0; }
    bool CreateDirectory(const std::string& path) override {
        const std::string folder = Bare(path);
        if (uncreatable.count(folder) > 0 || disk.folders.count(folder) > 0 || disk.files.count(folder) > 0 ||
            !DirectoryExists(ExtractFilePath(folder))) {
            return false;
        }
        return disk.folders.insert(folder).second;
    }
    bool RenameFile(const std::string& oldPath, const std::string& newPath) override {
        const std::string from = Bare(oldPath), to = Bare(newPath);
        if (DirectoryExists(to) || disk.files.count(to) > 0 || !DirectoryExists(from)) {
            return false;
        }
        const auto moved = [&](const std::string& path) {
            return path == from || path.starts_with(from + kPathSeparator) ? to + path.substr(from.size()) : path;
        };
        std::set<std::string> folders;
        for (const std::string& folder : disk.folders) {
            folders.insert(moved(folder));
        }
        std::map<std::string, std::string> files;
        for (const auto& [path, content] : disk.files) {
            files[moved(path)] = content;
        }
        disk.folders.swap(folders);
        disk.files.swap(files);
        return true;
    }
    bool DeleteFile(const std::string& path) override { return MemoryFolder(disk, "").DeleteFile(path); }
    std::unique_ptr<Folder> OpenFolder(const std::string& path, const Account&) override {
        return DirectoryExists(path) ? std::make_unique<MemoryFolder>(disk, Bare(path) + kPathSeparator) : nullptr;
    }
    LocalTime Now() override { return {2010, 2, 1, 9, 5, 3}; }
    void Sleep(unsigned) override {}
    bool StdoutIsConsole() override { return false; }
    void WriteStdout(std::string_view bytes) override { out.append(bytes); }
    void WriteStderr(std::string_view bytes) override { err.append(bytes); }
    std::string ExecutablePath() override { return "/tools/zephrane.exe"; }

    ServiceState GetServiceState(const std::string& name) override {
        return services.count(name) > 0 ? services[name].state : ServiceState::Absent;
    }
    bool SetServiceStartType(const std::string& name, StartType startType) override {
        return Change(name, "config", [&](FakeService& s) { s.startType = startType; });
    }
    bool StartServiceAndWait(const std::string& name) override {
        return Change(name, "start", [](FakeService& s) { s.state = ServiceState::Running; });
    }
    bool StopServiceAndWait(const std::string& name) override {
        return Change(name, "stop", [](FakeService& s) { s.state = ServiceState::Stopped; });
    }
    Account ServiceAccount(const std::string&, const std::vector<std::string>&) override { return {}; }

    std::optional<std::string> Download(const std::string&) override {
        const std::string& answer = answers[std::min<std::size_t>(requests++, answers.size() - 1)];
        const bool namedRuns = GetServiceState("named") == ServiceState::Running;
        if (answer == "hints" || (answer == "while-named-runs" && namedRuns)) {
            return hints;
        }
        return std::nullopt;
    }
    // The generator in `program`'s folder writes etc/rndc.key as the mode says.
    bool RunAndWait(const std::string& program, const std::string&) override {
        const std::string keyPath = ExtractFilePath(Bare(ExtractFilePath(program))) + "etc" + kPathSeparator;
        const std::string& mode = launchMode;
        if (mode != "no-key") {
            disk.files[keyPath + "rndc.key"] = mode == "half-key-killed" ? key.substr(0, 10) : key;
        }
        const std::map<std::string, std::set<std::string>*> marks = {
            {"invisible-key", &invisible}, {"undeletable-key", &disk.undeletable}, {"unreadable-key", &disk.unreadable}};
        if (marks.count(mode) > 0) {
            marks.at(mode)->insert(keyPath + "rndc.key");
        }
        if (mode == "conf-folder") {
            disk.folders.insert(keyPath + "rndc.conf");
        }
        return mode != "half-key-killed";
    }
    std::unique_ptr<Hold> LockFolder(const std::string&) override {
        return lockTaken ? nullptr : std::make_unique<Hold>();
    }
    std::unique_ptr<Hold> HoldInterruptions() override { return std::make_unique<Hold>(); }

private:
    template <typename Apply>
    bool Change(const std::string& name, const std::string& refusal, Apply apply) {
        if (services.count(name) == 0 || services[name].refuses == refusal) {
            return false;
        }
        apply(services[name]);
        return true;
    }
};

std::string Unhex(const std::string& hex) {
    std::string text;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        text.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return text;
}

std::string Hex(const std::string& text) {
    std::string hex;
    for (const unsigned char c : text) {
        hex += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
    }
    return hex;
}

std::vector<std::string> Read(std::istream& in, FakePlatform& p) {
    std::vector<std::string> args;
    for (std::string line; std::getline(in, line);) {
        std::istringstream stream(line);
        std::vector<std::string> w;
        for (std::string word; stream >> word;) {
            w.push_back(word);
        }
        const std::string item = w.empty() ? "" : w[0];
        const bool named = item == "service" || item == "launch" || item == "download";
        const std::string text = !named && w.size() > 1 ? Unhex(w[1]) : "";
        const std::map<std::string, std::set<std::string>*> sets = {
            {"folder", &p.disk.folders}, {"unprotected", &p.unprotected}, {"uncreatable", &p.uncreatable},
            {"full", &p.disk.full}};
        if (sets.count(item) > 0) {
            sets.at(item)->insert(text);
        } else if (item == "word") {
            args.push_back(text);
        } else if (item == "registry") {
            p.installDir = text;
        } else if (item == "registry-wrong-type") {
            p.registryWrongType = true;
        } else if (item == "file") {
            p.disk.files[text] = w.size() > 2 ? Unhex(w[2]) : "";
        } else if (item == "lock-taken") {
            p.lockTaken = true;
        } else if (item == "hints" || item == "key") {
            (item == "hints" ? p.hints : p.key) = text;
        } else if (item == "launch") {
            p.launchMode = w.at(1);
        } else if (item == "download") {
            p.answers.assign(w.begin() + 1, w.end());
        } else if (item == "service") {
            p.services[w.at(1)] = {static_cast<ServiceState>(std::stoi(w.at(2))),
                                   static_cast<StartType>(std::stoi(w.at(3))), w.at(4)};
        } else if (!item.empty()) {
            throw std::runtime_error("unknown item: " + line);
        }
    }
    return args;
}

}  // namespace
}  // namespace zephrane::testing

int main() {
    using namespace zephrane::testing;
    FakePlatform platform;
    const std::vector<std::string> args = Read(std::cin, platform);
    const int status = zephrane::RunAndReport(platform, args);

    std::cout << "status " << status << "\nstdout " << Hex(platform.out) << "\nstderr " << Hex(platform.err) << "\n";
    for (const std::string& folder : platform.disk.folders) {
        std::cout << "folder " << Hex(folder) << "\n";
    }
    for (const auto& [path, content] : platform.disk.files) {
        std::cout << "file " << Hex(path) << " " << Hex(content) << "\n";
    }
    for (const auto& [name, service] : platform.services) {
        std::cout << "service " << name << " " << static_cast<int>(service.state) << " "
                  << static_cast<int>(service.startType) << "\n";
    }
    std::cout << "requests " << platform.requests << "\n";
    return 0;
}
