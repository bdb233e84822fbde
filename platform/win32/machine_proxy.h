// The machine's WinHTTP proxy, which `netsh winhttp set proxy` sets: the one
// that services, scheduled tasks and deployment tools running as SYSTEM are
// meant to use, as SYSTEM's own Internet settings normally name none. Its
// own file: winhttp.h and wininet.h cannot be included together.
#pragma once

#include <optional>
#include <string>

namespace zephrane {

struct MachineProxy {
    std::string proxy;   // as WinInet takes it: "host:port" or "http=host:port;https=..."
    std::string bypass;  // hosts reached directly; empty for none
};

// The named proxy of WinHTTP's default configuration (WinHTTP loaded from
// System32 for the call); nullopt where it names none or cannot be read.
std::optional<MachineProxy> MachineWinHttpProxy();

}  // namespace zephrane
