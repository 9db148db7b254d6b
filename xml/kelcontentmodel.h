/*
 * kelcontentmodel.h - the cost of checking an element's content against a DTD content model,
 * measured before the parser is asked to build its automaton.
 *
 * A validating parser turns an element-only content model such as "(a,(b|c)*,d?)" into a
 * deterministic automaton over the model's element positions, the first time an element of that
 * type is checked.  The automaton of an ambiguous model can have exponentially many states
 * ("((a|b)*,a,(a|b),(a|b),...)": twenty groups give two million, four seconds), and even a
 * plain model of many thousand positions takes the square or the cube of their number ("(a?,a?,
 * ...)" of 20,000 positions: over two minutes).  A DTD comes from the user (the validate
 * functions' argument, DTD_REF, a document's internal subset), so each declaration is measured as
 * it is read, by building the same automaton within limits, and a DTD that passes them is built
 * by the parser in bounded time.
 */
#ifndef KEL_CONTENTMODEL_H
#define KEL_CONTENTMODEL_H

#include <xercesc/validators/common/ContentSpecNode.hpp>

#include <cstddef>
#include <cstdint>
#include <string>

namespace xercesc_3_2 {
class Grammar;
class SchemaGrammar;
}

// Element positions one content model may have, and the depth of its tree of groups and
// operators (the parser walks that tree recursively: a model nested 50,000 deep overflows the
// stack and ends the process).
inline constexpr size_t KEL_MODEL_POSITION_LIMIT = 2000;
inline constexpr size_t KEL_MODEL_DEPTH_LIMIT = 2500;
// Automaton states one content model may have, and the states all models of one parse may have
// beyond one per position: a deterministic model, as XML asks DTDs to have, has one per position
// and the start, so a large DTD of such models is never refused for its size.
inline constexpr size_t KEL_MODEL_STATE_LIMIT = 16384;
inline constexpr size_t KEL_MODEL_TOTAL_EXTRA_STATE_LIMIT = 65536;
// Steps all models of one parse may take to build: a word of a follower set joined, a position
// sorted by its name.  The parser takes a few nanoseconds a step, the check about as many.
inline constexpr uint64_t KEL_MODEL_WORK_LIMIT = uint64_t{16} << 20;

/*
 * Measures the element-only content models of a DTD grammar (null: nothing to measure) against
 * the limits above, as the parser's scanner built them and before any is turned into an
 * automaton.  Returns true when they pass; otherwise false with the element's name and the
 * reason.  Mixed content, EMPTY and ANY cost nothing.
 */
bool kelMeasureContentModels(const xercesc::Grammar *dtdGrammar, const XMLCh **element, std::string *reason);

// The same for one model (a tree of the scanner's nodes); budget counters carry over calls.
struct KelModelBudget {
  size_t extraStates = 0;
  uint64_t work = 0;
  // Schema models only: the declarations the parser's ambiguity check walks for each pair of
  // positions it compares (kelSchemaLookupWalk); kelMeasureSchemaModels raises it to its grammar's.
  uint64_t lookupWalk = 0;
};
bool kelMeasureContentModel(const xercesc::ContentSpecNode *model, KelModelBudget *budget, std::string *reason);

/*
 * What the parser's check that a schema model is unambiguous costs for each pair of positions it
 * compares.  It compares every two positions that may come next at the same point (all of them in
 * a repeated choice), and each comparison looks the element up among the grammar's declarations,
 * global or local, in tables of a fixed number of slots (about a hundred) that never grow, then
 * follows its substitution groups.  So a pair costs KEL_SCHEMA_PAIR_COST plus w + w * w / 64, w
 * being the declarations of a table slot and the substitution groups followed (the square: a
 * table past the processor's caches costs more for each declaration): a choice of 2,000
 * elements took 0.5 seconds beside 2,000 declarations, 2 beside 7,000 and 13.5 beside 22,000.
 */
inline constexpr uint64_t KEL_SCHEMA_PAIR_COST = 10;
// All models of a parse, weighted so: 16 Mi pairs of positions that cost nothing more, which
// take about half a second to build and check.
inline constexpr uint64_t KEL_SCHEMA_MODEL_WORK_LIMIT = KEL_MODEL_WORK_LIMIT * KEL_SCHEMA_PAIR_COST;
// The declarations the check walks for each pair in grammar (null: none): the average length
// of a slot of the table of element declarations and of the table of those made inside named
// groups, and the longest chain of substitution groups.
uint64_t kelSchemaLookupWalk(const xercesc::SchemaGrammar *grammar);

/*
 * The same for the complex types of a schema grammar, read as its traversal left them and before
 * any is turned into an automaton.  The parser writes a particle's occurrences out as copies
 * ("maxOccurs='100'" on a group: a hundred copies of it, and of every copy inside it), except
 * for an element or wildcard repeated alone in a model that allows it, which it counts instead;
 * and since a schema's models are checked for ambiguity with every position named apart, the
 * automaton has about one state per position but takes time near the square of their number to
 * build.  So each model is measured by its positions once written out (at most
 * KEL_MODEL_POSITION_LIMIT) and by the nesting of the written-out tree (at most
 * KEL_MODEL_DEPTH_LIMIT), and all models of the budget by the sum of the squares of their
 * positions, each times the cost of a pair for the budget's lookupWalk (at most
 * KEL_SCHEMA_MODEL_WORK_LIMIT).  Returns true when they pass; otherwise false with
 * the type's name and the reason.
 */
bool kelMeasureSchemaModels(const xercesc::SchemaGrammar *grammar, KelModelBudget *budget, const XMLCh **type,
                            std::string *reason);
bool kelMeasureSchemaModel(const xercesc::ContentSpecNode *model, KelModelBudget *budget, std::string *reason);

#endif /* KEL_CONTENTMODEL_H */
