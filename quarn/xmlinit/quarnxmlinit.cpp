/*
 * quarnxmlinit.cpp - initialises Xerces-C and ICU once per process, when this library is
 * loaded, and records the outcome for isSharedLibInitSuccess / getLastErrorCode /
 * getLastErrorMessage.  The parser library is left without a net accessor, so no parse in the
 * process can open a URL, and with its pattern matching and namespace lookups counted
 * (quarnparseguard.h).  The library's unload terminates Xerces-C again.
 */
#include "quarnxmlinit.h"

#include "quarnparseguard_install.h"

#include <unicode/uclean.h>
#include <xercesc/sax/SAXException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLNetAccessor.hpp>
#include <xercesc/util/XMLString.hpp>

#include <string>

namespace {

int lastErrorCode = -1;
std::string lastErrorMessage = "not initialised";
bool xercesUp = false;

std::string narrow(const XMLCh *text) {
  if (text == nullptr) return std::string();
  char *s = xercesc::XMLString::transcode(text);
  std::string out = s != nullptr ? s : "";
  xercesc::XMLString::release(&s);
  return out;
}

__attribute__((constructor)) void initialiseOnLoad() {
  UErrorCode status = U_ZERO_ERROR;
  u_init(&status);
  if (U_FAILURE(status)) {
    lastErrorCode = -5;
    lastErrorMessage = std::string("ICU: ") + u_errorName(status);
    return;
  }
  try {
    xercesc::XMLPlatformUtils::Initialize();
    xercesUp = true;
    // Parses inside the database server never reach the network: without a net accessor the
    // parser library cannot open a URL, whatever a document names.
    delete xercesc::XMLPlatformUtils::fgNetAccessor;
    xercesc::XMLPlatformUtils::fgNetAccessor = nullptr;
    // The library's pattern matching and namespace lookups can take far more than the
    // document's size: their work is counted so that a parse can be stopped
    // (quarnparseguard.h).  Without the count, both still work.
    quarnParseGuardInstall();
    lastErrorCode = 0;
    lastErrorMessage.clear();
  } catch (const xercesc::XMLException &e) {
    lastErrorCode = -2;
    lastErrorMessage = narrow(e.getMessage());
  } catch (const xercesc::SAXException &e) {
    lastErrorCode = -3;
    lastErrorMessage = narrow(e.getMessage());
  } catch (...) {
    lastErrorCode = -1;
    lastErrorMessage = "the XML parser library could not be initialised";
  }
}

__attribute__((destructor)) void terminateOnUnload() {
  if (xercesUp) {
    quarnParseGuardRemove();
    xercesc::XMLPlatformUtils::Terminate();
    xercesUp = false;
  }
}

}  // namespace

extern "C" int isSharedLibInitSuccess(void) { return lastErrorCode == 0 ? 1 : 0; }
extern "C" int getLastErrorCode(void) { return lastErrorCode; }
extern "C" const char *getLastErrorMessage(void) { return lastErrorMessage.c_str(); }
