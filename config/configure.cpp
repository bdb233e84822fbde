#include "config/configure.h"

#include "config/config_files.h"
#include "config/constants.h"
#include "config/control_key.h"
#include "config/install_paths.h"
#include "platform/directories.h"
#include "platform/paths.h"
#include "platform/time_stamp.h"

namespace zephrane {
namespace {

bool Fail(Console& out, std::string_view message) {
    out.WriteLine(message);
    return false;
}

// Sets the start type, then starts or stops; the second only when the first worked.
bool SwitchNamed(Platform& platform, bool run) {
    const std::string named(kNamedService);
    if (run) {
        return platform.SetServiceStartType(named, kStartAutomatic) && platform.StartServiceAndWait(named);
    }
    return platform.SetServiceStartType(named, kStartOnDemand) && platform.StopServiceAndWait(named);
}

}  // namespace

bool ConfigureServer(Platform& platform, Console& out, bool start) {
    const std::string generator(kKeyGeneratorName);

    out.WriteLine("Searching folder ...");
    const std::string installDir = ReadInstallDir(platform);
    if (!platform.DirectoryExists(installDir)) {
        return Fail(out, "Folder not found!");
    }

    out.WriteLine("Searching bin-folder ...");
    if (!platform.DirectoryExists(BinFolder(installDir))) {
        return Fail(out, "bin-folder not found!");
    }

    out.WriteLine("Searching " + generator + " ...");
    if (!platform.FileExists(KeyGeneratorPath(installDir))) {
        return Fail(out, generator + " not found!");
    }

    // named must not read its configuration while etc is being replaced.
    const bool wasRunning = platform.GetServiceState(std::string(kNamedService)) == kServiceRunning;
    if (wasRunning) {
        out.WriteLine("Stopping service ...");
        const bool stopped = SwitchNamed(platform, false);
        platform.Sleep(kServicePauseMs);
        if (!stopped) {
            return Fail(out, "Service not stopped!");
        }
    }

    // The old configuration is never deleted, only moved aside.
    const std::string etc = EtcFolder(installDir);
    if (platform.DirectoryExists(etc)) {
        out.WriteLine("Renaming etc-folder ...");
        platform.RenameFile(etc, StripTrailingBackslash(etc) + "_" + TimeStamp(platform.Now()) + kPathSeparator);
        if (platform.DirectoryExists(etc)) {
            return Fail(out, "etc-folder not renamed!");
        }
    }

    out.WriteLine("Creating etc-folder ...");
    if (!ForceDirectories(platform, etc)) {
        return Fail(out, "etc-folder not created!");
    }

    out.WriteLine("Downloading named.root ...");
    if (!platform.DownloadFile(std::string(kRootHintsUrl), etc + "named.root")) {
        return Fail(out, "named.root not downloaded!");
    }

    const std::string keyFile = etc + "rndc.key";
    out.WriteLine("Generating rndc.key ...");
    // The generator writes to the same standard output; what is buffered goes first.
    out.Flush();
    GenerateKey(platform, installDir);
    if (!platform.FileExists(keyFile)) {
        // The file search misses a key whose time stamp lies outside the DOS
        // range (a clock before 1980); its secret must not stay behind.
        platform.DeleteFile(keyFile);
        return Fail(out, "rndc.key not generated!");
    }

    out.WriteLine("Reading rndc.key ...");
    const KeyLines keyLines = ReadKeyLines(platform, keyFile);

    // The secret is to live only inside rndc.conf and named.conf.
    out.WriteLine("Deleting rndc.key ...");
    platform.DeleteFile(keyFile);
    if (platform.FileExists(keyFile)) {
        return Fail(out, "rndc.key not deleted!");
    }

    struct Writer {
        const char* fileName;
        void (*write)(Platform&, const std::string&, const KeyLines&);
    };
    const Writer writers[] = {
        {"rndc.conf", WriteRndcConf},
        {"named.conf", WriteNamedConf},
        {"localhost.zone", [](Platform& p, const std::string& d, const KeyLines&) { WriteLocalhostZone(p, d); }},
        {"named.local", [](Platform& p, const std::string& d, const KeyLines&) { WriteNamedLocal(p, d); }},
    };
    for (const Writer& writer : writers) {
        const std::string fileName = writer.fileName;
        out.WriteLine("Writing " + fileName + " ...");
        writer.write(platform, installDir, keyLines);
        if (!platform.FileExists(etc + fileName)) {
            return Fail(out, fileName + " not written!");
        }
    }

    if (!wasRunning && !start) {
        return true;
    }
    out.WriteLine("Starting service ...");
    const bool started = SwitchNamed(platform, true);
    platform.Sleep(kServicePauseMs);
    if (!started) {
        return Fail(out, "Service not started!");
    }
    return true;
}

}  // namespace zephrane
