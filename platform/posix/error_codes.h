#pragma once

namespace zephrane {

// The Windows system error code that matches errno `error`, so that the error
// report names the same causes in both builds.
unsigned WindowsErrorCode(int error);

}  // namespace zephrane
