#include "duvane/duvane_engine.h"

#include "bmc/message.h"

namespace DirectFwUpdate_Private {

CDuvane::CDuvane() {
    mWriterBuffer.reserve(kWriterBufferSize);
    BmcLibInitialize();
}

CDuvane::~CDuvane() = default;

}  // namespace DirectFwUpdate_Private
