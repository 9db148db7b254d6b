/*
 * kelschemascan.h - a schema document measured before the parser reads it.
 *
 * The parser builds a tree of a schema document and walks it recursively; a definition that
 * names another not yet read (a type, a group, an element) has that one read at once, inside
 * the walk.  So the parser's stack grows with the document's nesting and with the chain of
 * definitions one names after another: a schema nested 50,000 deep, or 10,000 types each
 * naming the next, ended the process.  Each schema document of a parse (the schema, and what it
 * includes, imports or redefines) is read here first, by a plain reader over the very bytes the
 * parser is then given: its nesting, and the longest chain of definitions naming one another in
 * all the parse's documents so far, weighted by how deep in its definition each name stands,
 * are held to limits, and so is the nesting of each pattern's groups and character classes,
 * which the parser reads and compiles recursively too.  A document the plain reader cannot finish (not well formed, an entity
 * refused) is left to the parser, which stops at the same place and says why.
 */
#ifndef KEL_SCHEMASCAN_H
#define KEL_SCHEMASCAN_H

#include <xercesc/util/XercesDefs.hpp>

#include <cstddef>
#include <memory>
#include <string>

struct KelCallContext;

inline constexpr size_t KEL_SCHEMA_DOCUMENT_DEPTH_LIMIT = 2500;
// Levels of the parser's walk through definitions that name one another: each name counts the
// depth at which it stands in its definition (about four for an element of a named type).
inline constexpr size_t KEL_SCHEMA_REFERENCE_DEPTH_LIMIT = 10000;
// Groups and character classes nested in one pattern (xs:pattern's value).
inline constexpr size_t KEL_SCHEMA_PATTERN_DEPTH_LIMIT = 256;

class KelSchemaScan {
 public:
  KelSchemaScan();
  ~KelSchemaScan();
  KelSchemaScan(const KelSchemaScan &) = delete;
  KelSchemaScan &operator=(const KelSchemaScan &) = delete;

  // A new parse: the definitions of the last one are forgotten.
  void startParse();
  // Reads one schema document of the parse; empty when it passes, else why it is refused.
  std::string measure(KelCallContext *ctx, const XMLByte *bytes, size_t size, const XMLCh *systemId);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

#endif /* KEL_SCHEMASCAN_H */
