#include "config/configure.h"

#include "config/backup_name.h"
#include "config/config_files.h"
#include "config/constants.h"
#include "config/control_key.h"
#include "config/install_paths.h"
#include "config/rollback.h"
#include "config/root_hints.h"
#include "config/service_switch.h"
#include "io/folders.h"
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

// One run of the sequence. What it holds (the lock, what it checked) lives until the
// changes are undone; what it opens in etc is closed before that.
struct Sequence {
    Sequence(Platform& platform, Console& out) : platform(platform), out(out), rollback(platform) {}

    Platform& platform;
    Console& out;
    Rollback rollback;
    // What was checked stays as it was until the run ends.
    std::unique_ptr<Hold> installation;
    std::unique_ptr<Hold> binFolder;
    std::unique_ptr<Program> keyGenerator;
    std::unique_ptr<Hold> lock;

    // Prints the progress line of the next step: false, printing nothing,
    // when an interruption came during the step before; the run ends there.
    bool Next(std::string_view line) {
        if (rollback.Interrupted()) {
            return false;
        }
        out.WriteLine(line);
        return true;
    }

    bool Configure(bool start);
};

bool Sequence::Configure(bool start) {
    const std::string generator(kKeyGeneratorName);
    const std::string named(kNamedService);

    out.WriteLine("Searching folder ...");
    const std::string installDir = ReadInstallDir(platform);
    if (!IsUsableInstallDir(installDir) || !platform.DirectoryExists(installDir) ||
        !(installation = platform.HoldProtectedFolder(installDir))) {
        return Fail(out, "Folder not found!");
    }

    // The tool runs what bin holds with administrator rights.
    out.WriteLine("Searching bin-folder ...");
    const std::string bin = BinFolder(installDir);
    if (!platform.DirectoryExists(bin) || !(binFolder = platform.HoldProtectedFolder(bin))) {
        return Fail(out, "bin-folder not found!");
    }

    out.WriteLine("Searching " + generator + " ...");
    const std::string generatorPath = KeyGeneratorPath(installDir);
    if (!platform.FileExists(generatorPath) || !(keyGenerator = platform.HoldProtectedProgram(generatorPath))) {
        return Fail(out, generator + " not found!");
    }

    // One run at a time: another one's half-made etc must not be moved aside.
    lock = platform.LockFolder(installDir);
    // Fetched once, while named still runs: a machine that resolves through
    // its own named cannot download once it is stopped.
    const std::optional<std::string> rootHints = lock ? FetchRootHints(platform) : std::nullopt;

    // named must not read its configuration while etc is being replaced,
    // and goes back to its state and start type if the run fails.
    const ServiceState namedState = platform.GetServiceState(named);
    // One that is stopping already still reads it: let it stop, silently.
    const bool stillStopping = namedState == ServiceState::StopPending && !platform.StopServiceAndWait(named);
    const bool wasRunning = MayBeRunning(namedState);
    // What named goes back to; read only when the run is to change it.
    std::optional<StartType> namedStartType;
    if (wasRunning || start) {
        namedStartType = platform.GetServiceStartType(named);
    }
    // Looked up while named still runs: a domain account may need a domain
    // controller that is found through this very named.
    const std::optional<Account> server = platform.ServiceAccount(named);
    if (wasRunning || stillStopping) {
        out.WriteLine("Stopping service ...");
        if (stillStopping || !lock || namedState == ServiceState::Unknown || !namedStartType || !server) {
            return Fail(out, "Service not stopped!");
        }
        rollback.NamedStopping(named, *namedStartType);
        const bool stopped = SwitchService(platform, named, false);
        platform.Sleep(kServicePauseMs);
        if (!stopped) {
            return Fail(out, "Service not stopped!");
        }
    }

    // The old configuration is never deleted, only moved aside.
    const std::string etc = EtcFolder(installDir);
    if (platform.DirectoryExists(etc)) {
        if (!Next("Renaming etc-folder ...")) {
            return false;
        }
        if (lock) {
            const std::string stamp = TimeStamp(platform.Now());
            const std::string backup = StripTrailingSeparator(etc) + "_" + stamp + kPathSeparator;
            rollback.EtcMovingAside(etc, backup, stamp);
            platform.RenameFolder(etc, backup);
        }
        if (platform.DirectoryExists(etc)) {
            return Fail(out, "etc-folder not renamed!");
        }
    }

    if (!Next("Creating etc-folder ...")) {
        return false;
    }
    std::unique_ptr<Folder> etcFolder;
    if (lock) {
        rollback.EtcCreating(etc);
        if (ForceDirectories(platform, etc)) {
            // A stopped named's account that cannot be resolved gets no entry, as nobody's.
            etcFolder = platform.OpenFolder(etc, server.value_or(Account{}));
        }
    }
    if (!etcFolder) {
        return Fail(out, "etc-folder not created!");
    }

    if (!Next("Downloading named.root ...")) {
        return false;
    }
    if (!rootHints || !WriteRootHints(*etcFolder, *rootHints) || !platform.FileExists(etc + "named.root")) {
        return Fail(out, "named.root not downloaded!");
    }

    const std::string keyPath = etc + std::string(kKeyFileName);
    KeyLines keyLines;
    {
        if (!Next("Generating rndc.key ...")) {
            return false;
        }
        // The generator writes to the same standard output; what is buffered goes first.
        out.Flush();
        Removal key(*etcFolder, std::string(kKeyFileName));
        // Only a key the generator wrote is taken: a plain file of ours.
        std::unique_ptr<File> keyFile;
        if (GenerateKey(platform, *keyGenerator, installDir) && platform.FileExists(keyPath)) {
            keyFile = etcFolder->OpenFile(std::string(kKeyFileName));
        }
        if (!keyFile) {
            return Fail(out, "rndc.key not generated!");
        }

        if (!Next("Reading rndc.key ...")) {
            return false;
        }
        keyLines = ReadLines(std::move(keyFile));

        // The secret is to live only inside rndc.conf and named.conf.
        if (!Next("Deleting rndc.key ...")) {
            return false;
        }
        key.RemoveNow();
        if (platform.FileExists(keyPath)) {
            return Fail(out, "rndc.key not deleted!");
        }
    }

    for (const ConfigFile& file : ConfigFiles(installDir, keyLines)) {
        if (!Next("Writing " + file.name + " ...")) {
            return false;
        }
        if (!WriteTextFile(*etcFolder, file.name, file.access, file.lines) || !platform.FileExists(etc + file.name)) {
            return Fail(out, file.name + " not written!");
        }
    }
    // named may start from these files at the next boot, also after a power
    // cut; only now may it enter their folder.
    etcFolder->Sync();
    etcFolder->Share();

    if (!wasRunning && !start) {
        return true;
    }
    if (!Next("Starting service ...")) {
        return false;
    }
    bool started = false;
    if (namedStartType) {
        rollback.NamedStarting(named, *namedStartType);
        started = SwitchService(platform, named, true);
    }
    platform.Sleep(kServicePauseMs);
    if (!started) {
        return Fail(out, "Service not started!");
    }
    return true;
}

}  // namespace

ConfigureResult ConfigureServer(Platform& platform, Console& out, bool start) {
    Sequence sequence(platform, out);
    bool configured = false;
    try {
        configured = sequence.Configure(start);
    } catch (...) {
        // The report follows once the machine is as it was, or as near as the undo came.
        const bool restored = sequence.rollback.Undo();
        throw UndoneError{std::current_exception(), restored};
    }
    if (configured) {
        return ConfigureResult::Succeeded;
    }
    return sequence.rollback.Undo() ? ConfigureResult::Failed : ConfigureResult::NotRestored;
}

}  // namespace zephrane
