#include "errors/failure.h"

#include <cstring>

namespace tarnwell {

Failure Failure::fromErrno(int error) {
    return Failure(QString::fromLocal8Bit(std::strerror(error)));
}

}  // namespace tarnwell
