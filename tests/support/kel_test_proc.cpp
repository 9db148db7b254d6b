// The frame's test procedure (see kel_test_proc.h).
#include "kel_test_proc.h"

#include <cstring>
#include <new>
#include <string>

#include "kelmsg.h"

namespace {

constexpr KelParamSpec kFull[] = {
    {"name", KelParamKind::String, KelParamMode::In, true, 0},
    {"dad", KelParamKind::Lob, KelParamMode::In, false, 0},
    {"count", KelParamKind::Integer, KelParamMode::In, false, 0},
    {"outCount", KelParamKind::Integer, KelParamMode::Out, false, 0},
    {"returnCode", KelParamKind::ReturnCode, KelParamMode::Out, false, 0},
    {"returnMsg", KelParamKind::ReturnMsg, KelParamMode::Out, false, 1024},
};
constexpr KelParamSpec kShort[] = {
    {"name", KelParamKind::String, KelParamMode::In, true, 0},
    {"returnCode", KelParamKind::ReturnCode, KelParamMode::Out, false, 0},
    {"returnMsg", KelParamKind::ReturnMsg, KelParamMode::Out, false, 1024},
};
constexpr KelProcLayout kLayouts[] = {{kFull, 6}, {kShort, 3}};

int32_t testWorker(KelProcCall &call) {
  std::string name = call.args[0].data;
  if (call.nArgs == 6) call.args[3].outNum = call.args[2].num + call.args[1].len;
  if (name == "fail") {
    kelSetMessage(call.ctx, call.msg, KELA016E, name.c_str());
    return kelSqlStateTable[KELA016E].code;
  }
  if (name == "nomemory") throw std::bad_alloc();
  if (name == "throws") throw 7;
  if (name == "long") {
    std::string text(1200, 'x');
    kelSetMessage(call.ctx, call.msg, KELQ053E, text.c_str());
    return kelSqlStateTable[KELQ053E].code;
  }
  kelSetMessage(call.ctx, call.msg, KELA022I, name.c_str());
  return 0;
}

}  // namespace

const KelProcSpec kelTestProcSpec = {"kelFrameTest", kLayouts, 2, testWorker};
