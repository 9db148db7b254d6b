/*
 * kelvalreport.h - the validation report: every error a validating parse reports, with its
 * line, column, the path of the element being read (1-based positions among same-named
 * siblings) and the parser's whole text.  KelValidator (kelvalidate.h) feeds one collector
 * from its SAX pass; the report table functions hand its rows out.  A collector is kept for
 * the documents of one statement (its storage is reused) and belongs to one thread.
 */
#ifndef KEL_VALREPORT_H
#define KEL_VALREPORT_H

#include <xercesc/util/XercesDefs.hpp>

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

struct KelCallContext;

// Error rows of one document; one more error adds the row saying the report was cut.
inline constexpr size_t KEL_REPORT_MAX_ROWS = 1000;
// Bytes of a row's path and of its message (the columns are varchar(1024)).
inline constexpr size_t KEL_REPORT_TEXT_BYTES = 1024;
// The message of the row that ends a report that was cut.
inline constexpr char KEL_REPORT_CUT_TEXT[] =
    "The report was cut after 1000 errors; the document has more.";

// One row: the path and message in the database code page, at most KEL_REPORT_TEXT_BYTES each.
struct KelReportRow {
  int32_t line = 0;
  int32_t column = 0;
  std::string path;
  std::string message;
};

class KelReportCollector {
 public:
  explicit KelReportCollector(KelCallContext *ctx) : ctx_(ctx) {}

  // A new document: no rows, no open elements (storage is kept).
  void begin();
  // An element starts (its qualified name) or ends.  Errors reported since the last other
  // event were found in this element's start tag (an undeclared element, a missing attribute),
  // so they get this element's path.
  void startElement(const XMLCh *qname);
  void endElement();
  // Any other content event (text, whitespace, a processing instruction): errors after it
  // belong to the elements open then.  Called too right after an error that belongs where it
  // was found, whatever starts next: one in text (the parser reports it just before the start
  // tag that ends the text, with no text event) or in the DTD.
  void contentEvent() { pendingFrom_ = rows_.size(); }
  /*
   * Records an error at line and column with the parser's text (UTF-16).  Returns false when
   * the parse must stop: the error was fatal, or the report is full (then the row saying the
   * report was cut has been added instead).
   */
  bool add(long line, long column, const XMLCh *text, bool fatal);
  // Records a failure that ended the parse without an error event (a refused entity), its text
  // already in the database code page.  Nothing when the report has already stopped.
  void addFailure(long line, long column, const char *textDb);
  // True once a fatal error or the cut ended the report.
  bool stopped() const { return stopped_; }
  // Writes the paths of the rows (positions need the final sibling counts) and returns them.
  const std::vector<KelReportRow> &finish();

 private:
  struct Step {
    std::u16string name;
    uint32_t position;
    uint64_t parentSerial;
  };
  struct Pending {
    std::vector<Step> steps;
  };
  // Children of one element by name: a short list searched in order (the names' storage is
  // reused from element to element), with a hash index once it holds many names.
  struct Counts {
    std::vector<std::pair<std::u16string, uint32_t>> entries;
    size_t used = 0;
    std::unordered_map<std::u16string, size_t> index;
    // Counts one more child called name; its position, and in *at its entry.
    uint32_t bump(const XMLCh *name, size_t len, std::u16string *key, size_t *at);
    uint32_t count(const std::u16string &name) const;
    void clear() {
      used = 0;
      index.clear();
    }
  };
  struct Frame {
    size_t nameAt = 0;  // its name: this entry of the parent's children
    uint32_t position = 0;
    uint64_t serial = 0;
    bool referenced = false;  // a row's path goes through a child of it
    Counts children;          // same-named children so far
  };
  void stepsHere(std::vector<Step> *steps);
  uint32_t finalCount(uint64_t parentSerial, const std::u16string &name) const;
  void pushRow(long line, long column, std::string messageDb);

  KelCallContext *ctx_;
  std::vector<Frame> frames_;  // [0] is the document; [1..depth_] the open elements
  size_t depth_ = 0;
  uint64_t nextSerial_ = 0;
  std::u16string key_;
  std::unordered_map<uint64_t, Counts> closed_;  // final child counts of referenced elements
  std::vector<KelReportRow> rows_;
  std::vector<Pending> pending_;  // per row: its steps until finish()
  size_t pendingFrom_ = 0;
  bool stopped_ = false;
};

#endif /* KEL_VALREPORT_H */
