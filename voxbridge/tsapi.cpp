#include "voxbridge/tsapi.h"

namespace vox {

namespace {

const Tsapi kReal = {
    cstaClearCall,  acsOpenStream,    cstaMakeCall,      cstaSnapshotCallReq,
    cstaEscapeService, acsGetEventBlock, cstaMonitorCall, acsGetEventPoll,
    acsCloseStream, cstaSnapshotDeviceReq, cstaMonitorStop,
};

const Tsapi* g_current = &kReal;

}  // namespace

const Tsapi& realTsapi() { return kReal; }
const Tsapi& tsapi() { return *g_current; }
void setTsapiForTests(const Tsapi* calls) { g_current = calls ? calls : &kReal; }

}  // namespace vox
