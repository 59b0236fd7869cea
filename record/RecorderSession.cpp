#include "RecorderSession.h"

namespace cld {

RecorderSession& RecorderSession::Instance() {
    static RecorderSession session;
    return session;
}

} // namespace cld
