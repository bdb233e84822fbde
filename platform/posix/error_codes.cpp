#include "platform/posix/error_codes.h"

#include <cerrno>

#include "platform/run_error.h"

namespace zephrane {

unsigned WindowsErrorCode(int error) {
    switch (error) {
    case ENOENT: return kErrorFileNotFound;
    case ENOTDIR: return kErrorPathNotFound;
    case EMFILE:
    case ENFILE: return kErrorTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return kErrorAccessDenied;
    case ENOSPC:
    case EDQUOT: return kErrorDiskFull;
    case EBUSY:
    case ETXTBSY: return 32;        // sharing violation
    case EEXIST: return 80;         // file exists
    case EINVAL: return 87;         // invalid parameter
    case ENAMETOOLONG: return 206;  // file name too long
    case ELOOP: return 1921;        // name cannot be resolved
    case EIO: return 1117;          // device I/O error
    default: return 31;             // device not functioning
    }
}

}  // namespace zephrane
