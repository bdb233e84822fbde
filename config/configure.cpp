#include "config/configure.h"

#include "config/backup_name.h"
#include "config/config_files.h"
#include "config/constants.h"
#include "config/control_key.h"
#include "config/install_paths.h"
#include "config/root_hints.h"
#include "config/service_switch.h"
#include "io/directories.h"
#include "io/removal.h"
#include "io/text_file.h"
#include "platform/paths.h"

namespace zephrane {
namespace {

bool Fail(Console& out, std::string_view message) {
    out.WriteLine(message);
    return false;
}

// A named that is starting, pausing, continuing or paused holds its
// configuration as much as a running one; one whose state is unknown may.
bool MayBeRunning(ServiceState state) {
    return state != ServiceState::Absent && state != ServiceState::Stopped && state != ServiceState::StopPending;
}

std::optional<std::string> FetchRootHints(Platform& platform) {
    std::optional<std::string> body = platform.Download(std::string(kRootHintsUrl));
    // named refuses to start when its hint zone does not load.
    if (body && !IsRootHints(*body)) {
        body.reset();
    }
    return body;
}

// Part of the root hints (the disk full) must not pass for them.
bool WriteRootHints(Folder& etc, const std::string& hints) {
    Removal partial(etc, "named.root");
    {
        // Closed before a removal: Windows removes no open file.
        const std::unique_ptr<File> file = etc.CreateFile("named.root", FileAccess::Plain);
        if (!file) {
            partial.Keep();  // not ours to remove
            return false;
        }
        WriteAll(*file, hints);
        file->Close();
    }
    partial.Keep();
    return true;
}

}  // namespace

bool ConfigureServer(Platform& platform, Console& out, bool start) {
    const std::string generator(kKeyGeneratorName);
    const std::string named(kNamedService);

    out.WriteLine("Searching folder ...");
    const std::string installDir = ReadInstallDir(platform);
    if (!IsUsableInstallDir(installDir) || !platform.DirectoryExists(installDir) ||
        !platform.IsProtectedFolder(installDir)) {
        return Fail(out, "Folder not found!");
    }

    // The tool runs what bin holds with administrator rights.
    out.WriteLine("Searching bin-folder ...");
    const std::string bin = BinFolder(installDir);
    if (!platform.DirectoryExists(bin) || !platform.IsProtectedFolder(bin)) {
        return Fail(out, "bin-folder not found!");
    }

    out.WriteLine("Searching " + generator + " ...");
    const std::string generatorPath = KeyGeneratorPath(installDir);
    if (!platform.FileExists(generatorPath) || !platform.IsProtectedProgram(generatorPath)) {
        return Fail(out, generator + " not found!");
    }

    // One run at a time: another one's half-made etc must not be moved aside.
    const std::unique_ptr<Hold> lock = platform.LockFolder(installDir);
    // Fetched while named still runs: a machine that resolves through its
    // own named cannot download once it is stopped.
    std::optional<std::string> rootHints = lock ? FetchRootHints(platform) : std::nullopt;

    // named must not read its configuration while etc is being replaced.
    const ServiceState namedState = platform.GetServiceState(named);
    const bool wasRunning = MayBeRunning(namedState);
    if (wasRunning) {
        out.WriteLine("Stopping service ...");
        if (!lock || namedState == ServiceState::Unknown) {
            return Fail(out, "Service not stopped!");
        }
        const bool stopped = SwitchService(platform, named, false);
        platform.Sleep(kServicePauseMs);
        if (!stopped) {
            return Fail(out, "Service not stopped!");
        }
    }

    // The old configuration is never deleted, only moved aside.
    const std::string etc = EtcFolder(installDir);
    if (platform.DirectoryExists(etc)) {
        out.WriteLine("Renaming etc-folder ...");
        if (lock) {
            platform.RenameFile(etc, StripTrailingBackslash(etc) + "_" + TimeStamp(platform.Now()) + kPathSeparator);
        }
        if (platform.DirectoryExists(etc)) {
            return Fail(out, "etc-folder not renamed!");
        }
    }

    out.WriteLine("Creating etc-folder ...");
    std::vector<std::string> groups(std::begin(kNamedGroups), std::end(kNamedGroups));
    const std::unique_ptr<Folder> etcFolder = lock && ForceDirectories(platform, etc)
                                                  ? platform.OpenFolder(etc, platform.ServiceAccount(named, groups))
                                                  : nullptr;
    if (!etcFolder) {
        return Fail(out, "etc-folder not created!");
    }

    out.WriteLine("Downloading named.root ...");
    if (!rootHints) {
        rootHints = FetchRootHints(platform);
    }
    if (!rootHints || !WriteRootHints(*etcFolder, *rootHints) || !platform.FileExists(etc + "named.root")) {
        return Fail(out, "named.root not downloaded!");
    }

    const std::string keyPath = etc + std::string(kKeyFileName);
    KeyLines keyLines;
    {
        out.WriteLine("Generating rndc.key ...");
        // The generator writes to the same standard output; what is buffered goes first.
        out.Flush();
        // Interrupted now, the run would leave the secret behind.
        const std::unique_ptr<Hold> uninterrupted = platform.HoldInterruptions();
        Removal key(*etcFolder, std::string(kKeyFileName));
        if (!GenerateKey(platform, installDir) || !platform.FileExists(keyPath)) {
            return Fail(out, "rndc.key not generated!");
        }

        out.WriteLine("Reading rndc.key ...");
        keyLines = ReadTextFile(*etcFolder, std::string(kKeyFileName));

        // The secret is to live only inside rndc.conf and named.conf.
        out.WriteLine("Deleting rndc.key ...");
        key.RemoveNow();
        if (platform.FileExists(keyPath)) {
            return Fail(out, "rndc.key not deleted!");
        }
    }

    for (const ConfigFile& file : ConfigFiles(installDir, keyLines)) {
        out.WriteLine("Writing " + file.name + " ...");
        if (!WriteTextFile(*etcFolder, file.name, file.access, file.lines) || !platform.FileExists(etc + file.name)) {
            return Fail(out, file.name + " not written!");
        }
    }
    // named may start from these files at the next boot, also after a power cut.
    etcFolder->Sync();

    if (!wasRunning && !start) {
        return true;
    }
    out.WriteLine("Starting service ...");
    const bool started = SwitchService(platform, named, true);
    platform.Sleep(kServicePauseMs);
    if (!started) {
        return Fail(out, "Service not started!");
    }
    return true;
}

}  // namespace zephrane
