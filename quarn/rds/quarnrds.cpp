/*
 * quarnrds.cpp - the function runtime: the locator calls of user-defined functions, forwarded
 * to the large-object store the engine registered.
 */
#include <atomic>

#include "quarnrds_service.h"

namespace {

constexpr int kNoConnection = -1024;
std::atomic<const QuarnLobService *> lobService{nullptr};

}  // namespace

extern "C" void quarnrdsSetLobService(const QuarnLobService *service) { lobService.store(service); }

extern "C" int sqludf_length(udf_locator *udfloc_p, sqlint32 *return_len_p) {
  const QuarnLobService *s = lobService.load();
  if (s == nullptr) return kNoConnection;
  if (udfloc_p == nullptr || return_len_p == nullptr) return -1;
  return s->length(*udfloc_p, return_len_p);
}

extern "C" int sqludf_substr(udf_locator *udfloc_p, sqlint32 start, sqlint32 length,
                             unsigned char *buffer_p, sqlint32 *return_len_p) {
  const QuarnLobService *s = lobService.load();
  if (s == nullptr) return kNoConnection;
  if (udfloc_p == nullptr || buffer_p == nullptr || return_len_p == nullptr || start < 1 || length < 0) return -1;
  return s->substr(*udfloc_p, start, length, buffer_p, return_len_p);
}

extern "C" int sqludf_append(udf_locator *udfloc_p, unsigned char *buffer_p, sqlint32 length,
                             sqlint32 *return_len_p) {
  const QuarnLobService *s = lobService.load();
  if (s == nullptr) return kNoConnection;
  if (udfloc_p == nullptr || (buffer_p == nullptr && length > 0) || return_len_p == nullptr || length < 0) return -1;
  return s->append(*udfloc_p, buffer_p, length, return_len_p);
}

extern "C" int sqludf_create_locator(int loc_type, udf_locator **loc_p) {
  const QuarnLobService *s = lobService.load();
  if (s == nullptr) return kNoConnection;
  if (loc_p == nullptr) return -1;
  return s->create(loc_type, loc_p);
}
