/*
 * kelvalreport.cpp - the collector of a validation report: a stack of open elements that
 * counts same-named children, and error rows whose paths are written once the parse is over
 * (a first child gets "[1]" only when a later sibling of its name turned up).
 */
#include "kelvalreport.h"

#include <algorithm>
#include <utility>

#include "kelcodepage.h"
#include "kelentity.h"

namespace {

// text in the database code page, cut to at most maxBytes bytes between characters (empty when
// it cannot be converted).
std::string toDbCut(KelCallContext *ctx, std::u16string text, size_t maxBytes) {
  std::string out;
  if (!kelToDbCut(ctx, std::move(text), maxBytes, &out)) out.clear();
  return out;
}

}  // namespace

void KelReportCollector::begin() {
  if (frames_.empty()) frames_.emplace_back();
  depth_ = 0;
  nextSerial_ = 0;
  frames_[0].serial = nextSerial_++;
  frames_[0].referenced = false;
  frames_[0].children.clear();
  closed_.clear();
  rows_.clear();
  pending_.clear();
  pendingFrom_ = 0;
  stopped_ = false;
}

// Names a list holds before it is indexed.
constexpr size_t kListedNames = 32;

uint32_t KelReportCollector::Counts::bump(const XMLCh *name, size_t len, std::u16string *key, size_t *at) {
  auto same = [&](const std::u16string &e) {
    return e.size() == len && std::char_traits<XMLCh>::compare(e.data(), name, len) == 0;
  };
  if (!index.empty()) {
    key->assign(name, len);
    auto it = index.find(*key);
    if (it != index.end()) {
      *at = it->second;
      return ++entries[it->second].second;
    }
  } else {
    for (size_t i = 0; i < used; ++i)
      if (same(entries[i].first)) {
        *at = i;
        return ++entries[i].second;
      }
  }
  if (used == entries.size()) entries.emplace_back();
  // Documents of a statement tend to repeat their structure: the slot often holds the name.
  if (!same(entries[used].first)) entries[used].first.assign(name, len);
  entries[used].second = 1;
  *at = used;
  ++used;
  if (used > kListedNames) {
    if (index.empty())
      for (size_t i = 0; i < used; ++i) index.emplace(entries[i].first, i);
    else
      index.emplace(entries[used - 1].first, used - 1);
  }
  return 1;
}

uint32_t KelReportCollector::Counts::count(const std::u16string &name) const {
  for (size_t i = 0; i < used; ++i)
    if (entries[i].first == name) return entries[i].second;
  return 0;
}

void KelReportCollector::startElement(const XMLCh *qname) {
  if (qname == nullptr) qname = u"";
  const size_t len = std::char_traits<XMLCh>::length(qname);
  size_t at = 0;
  uint32_t position = frames_[depth_].children.bump(qname, len, &key_, &at);
  if (++depth_ == frames_.size()) frames_.emplace_back();
  Frame &f = frames_[depth_];
  f.nameAt = at;
  f.position = position;
  f.serial = nextSerial_++;
  f.referenced = false;
  f.children.clear();
  for (size_t i = pendingFrom_; i < pending_.size(); ++i) stepsHere(&pending_[i].steps);
  pendingFrom_ = rows_.size();
}

void KelReportCollector::endElement() {
  pendingFrom_ = rows_.size();
  if (depth_ == 0) return;
  Frame &f = frames_[depth_];
  if (f.referenced) {
    closed_[f.serial] = std::move(f.children);
    f.children = Counts();
  }
  --depth_;
}

void KelReportCollector::stepsHere(std::vector<Step> *steps) {
  steps->clear();
  // A row's path is cut to KEL_REPORT_TEXT_BYTES, and each unit of its text is at least a
  // byte: the steps stop once their names and slashes pass that many units, the last one's name
  // cut too. Each of the up to 1,000 rows held a copy of every step before, so a document
  // 20,000 deep took more than a gigabyte.
  size_t units = 0;
  for (size_t i = 1; i <= depth_ && units <= KEL_REPORT_TEXT_BYTES; ++i) {
    frames_[i - 1].referenced = true;
    const std::u16string &name = frames_[i - 1].children.entries[frames_[i].nameAt].first;
    const size_t room = KEL_REPORT_TEXT_BYTES + 1 - units;  // units still shown, and one more
    size_t keep = std::min(name.size(), room);
    // Never half a surrogate pair: the name would not convert.
    if (keep < name.size() && keep > 0 && name[keep - 1] >= 0xD800 && name[keep - 1] <= 0xDBFF) ++keep;
    steps->push_back({keep < name.size() ? name.substr(0, keep) : name, frames_[i].position, frames_[i - 1].serial});
    units += 1 + keep;
  }
}

void KelReportCollector::pushRow(long line, long column, std::string messageDb) {
  KelReportRow row;
  row.line = static_cast<int32_t>(line);
  row.column = static_cast<int32_t>(column);
  row.message = std::move(messageDb);
  rows_.push_back(std::move(row));
  pending_.emplace_back();
  stepsHere(&pending_.back().steps);
}

bool KelReportCollector::add(long line, long column, const XMLCh *text, bool fatal) {
  if (stopped_) return false;
  if (rows_.size() == KEL_REPORT_MAX_ROWS) {
    pushRow(line, column, KEL_REPORT_CUT_TEXT);
    stopped_ = true;
    return false;
  }
  pushRow(line, column, toDbCut(ctx_, text != nullptr ? text : u"", KEL_REPORT_TEXT_BYTES));
  if (fatal) stopped_ = true;
  return !fatal;
}

void KelReportCollector::addFailure(long line, long column, const char *textDb) {
  if (stopped_) return;
  std::string text(textDb != nullptr ? textDb : "");
  if (text.size() > KEL_REPORT_TEXT_BYTES) text.resize(KEL_REPORT_TEXT_BYTES);
  pushRow(line, column, std::move(text));
  stopped_ = true;
}

uint32_t KelReportCollector::finalCount(uint64_t parentSerial, const std::u16string &name) const {
  const Counts *counts = nullptr;
  auto closed = closed_.find(parentSerial);
  if (closed != closed_.end()) {
    counts = &closed->second;
  } else {
    // Still open when the parse ended.
    for (size_t i = 0; i <= depth_ && counts == nullptr; ++i)
      if (frames_[i].serial == parentSerial) counts = &frames_[i].children;
  }
  if (counts == nullptr) return 1;
  return counts->count(name);
}

const std::vector<KelReportRow> &KelReportCollector::finish() {
  std::u16string path;
  if (pending_.size() != rows_.size()) return rows_;  // already finished
  for (size_t r = 0; r < rows_.size(); ++r) {
    path.clear();
    for (const Step &s : pending_[r].steps) {
      path += u'/';
      path += s.name;
      if (s.position > 1 || finalCount(s.parentSerial, s.name) > 1) {
        path += u'[';
        std::string digits = std::to_string(s.position);
        path.append(digits.begin(), digits.end());
        path += u']';
      }
    }
    rows_[r].path = toDbCut(ctx_, path, KEL_REPORT_TEXT_BYTES);
  }
  pending_.clear();
  return rows_;
}
