/*
 * kelmiglist.cpp - the migration command's statement lists, selected from the registration
 * table by group and name, and the statements that set a database back to the previous level.
 */
#include "kelmiglist.h"

#include <algorithm>
#include <initializer_list>

#include "kelregister.h"

namespace {

using Rows = std::vector<KelNumberedStatement>;

bool isNamed(const KelNumberedStatement &s, std::initializer_list<const char *> names) {
  for (const char *name : names)
    if (s.name == name) return true;
  return false;
}

// The current registrations (functions, then procedures) that satisfy keep.
template <typename Keep>
Rows current(Keep keep) {
  Rows out;
  for (const Rows *from : {&kelFunctionRegistrations(), &kelProcedureRegistrations()})
    for (const KelNumberedStatement &s : *from)
      if (keep(s)) out.push_back(s);
  return out;
}

Rows inGroup(KelRegGroup group) {
  return current([group](const KelNumberedStatement &s) { return s.group == group; });
}

Rows procedures(std::initializer_list<const char *> names) {
  return current([names](const KelNumberedStatement &s) {
    return s.group == KEL_REG_PROCEDURE && isNamed(s, names);
  });
}

void addTexts(std::vector<std::string> &out, const Rows &rows) {
  for (const KelNumberedStatement &s : rows) out.push_back(s.text);
}

void addDrops(std::vector<std::string> &out, const Rows &rows) {
  for (const KelNumberedStatement &s : rows) out.push_back(s.drop);
}

// The double-byte part: the type, then each function dropped and created again.
void addDoubleByte(KelMigList &list) {
  list.doubleByteFrom = list.statements.size();
  for (const KelNumberedStatement &s : kelDoubleByteRegistrations()) {
    if (s.group == KEL_REG_DOUBLE_BYTE && s.text.rfind("create distinct type", 0) == 0) {
      list.statements.push_back(s.text);
      continue;
    }
    list.statements.push_back(s.drop);
    list.statements.push_back(s.text);
  }
}

KelMigList fp3() {
  KelMigList l;
  l.statements = {"create distinct type quarnxml.XMLCLOB as clob(10k)",
                  "drop procedure quarnxml.kelGenXML", "drop procedure quarnxml.kelRetrieveXML"};
  addTexts(l.statements, kelOldRegistrations(KEL_OLD_OVERRIDE_1024));
  // The double-byte part creates the type and the functions once (nothing to drop yet).
  l.doubleByteFrom = l.statements.size();
  addTexts(l.statements, kelDoubleByteRegistrations());
  return l;
}

KelMigList fp4Procedures() {
  KelMigList l;
  addTexts(l.statements, kelOldRegistrations(KEL_OLD_RESULT_DOC_2G));
  Rows composition = procedures({"kelGenXML", "kelRetrieveXML"});
  addDrops(l.statements, composition);
  addTexts(l.statements, composition);
  l.doubleByteFrom = l.statements.size();
  return l;
}

Rows previousStorage() {
  return current([](const KelNumberedStatement &s) {
    return s.group == KEL_REG_STORAGE && kelStorageInPreviousLevel(s.specific);
  });
}

KelMigList fp4Functions() {
  KelMigList l;
  Rows update = inGroup(KEL_REG_UPDATE), validate = inGroup(KEL_REG_VALIDATE),
       extract = inGroup(KEL_REG_EXTRACT);
  Rows storage = previousStorage(), cast = inGroup(KEL_REG_CAST), seqno = inGroup(KEL_REG_SEQNO);
  for (const Rows *rows : {&validate, &update, &extract, &storage, &seqno, &cast})
    addDrops(l.statements, *rows);
  for (const Rows *rows : {&storage, &extract, &update, &validate, &cast, &seqno})
    addTexts(l.statements, *rows);
  addDoubleByte(l);
  return l;
}

KelMigList dropAndCreate(const Rows &rows) {
  KelMigList l;
  for (const KelNumberedStatement &s : rows) {
    l.statements.push_back(s.drop);
    l.statements.push_back(s.text);
  }
  l.doubleByteFrom = l.statements.size();
  return l;
}

KelMigList fp7() {
  KelMigList l;
  l.statements = {"drop procedure quarnxml.kelEnableColl",
                  "drop procedure quarnxml.kelDisableColl"};
  Rows rows = procedures({"kelEnableCollection", "kelDisableCollection", "kelDisableDB"});
  addDrops(l.statements, rows);
  addTexts(l.statements, rows);
  l.doubleByteFrom = l.statements.size();
  return l;
}

KelMigList fp8() {
  KelMigList l;
  Rows storage = inGroup(KEL_REG_STORAGE);
  // The probe: Content over XMLCLOB with an encoding argument.
  for (const KelNumberedStatement &s : storage)
    if (s.specific == "quarnxmlcontentcf2") l.statements.push_back(s.text);
  for (const KelNumberedStatement &s : storage) {
    if (s.specific == "quarnxmlcontentcf2" || s.specific == "quarnxmlcontentfc") continue;
    if (kelStorageInPreviousLevel(s.specific)) l.statements.push_back(s.drop);
    l.statements.push_back(s.text);
  }
  l.doubleByteFrom = l.statements.size();
  return l;
}

KelMigList xmlVarchar() {
  // Every current registration that has an old XMLVarchar form, plus the forms with an
  // encoding argument of XMLVarcharFromFile.
  Rows rows = current([](const KelNumberedStatement &s) {
    if (s.name == "XMLVarcharFromFile" || s.group == KEL_REG_CAST) return true;
    for (const KelNumberedStatement &old : kelOldRegistrations(KEL_OLD_XMLVARCHAR))
      if (old.group == s.group && old.number == s.number) return true;
    return false;
  });
  return dropAndCreate(rows);
}

KelMigList createOnly(const Rows &rows) {
  KelMigList l;
  addTexts(l.statements, rows);
  l.doubleByteFrom = l.statements.size();
  return l;
}

std::vector<KelMigList> buildLists() {
  return {fp3(),
          fp4Procedures(),
          fp4Functions(),
          dropAndCreate(procedures({"kelGenXMLClob", "kelRetrieveXMLClob"})),
          fp7(),
          fp8(),
          xmlVarchar(),
          createOnly(inGroup(KEL_REG_DTD_EXTRACT)),
          createOnly(inGroup(KEL_REG_DTD_VALIDATE)),
          createOnly(procedures({"kelShredXML50MB"})),
          createOnly(procedures({"kelInsertXML50MB"}))};
}

std::vector<KelMigAppended> buildAppended() {
  std::vector<KelMigAppended> out;
  for (const Rows *from : {&kelFunctionRegistrations(), &kelProcedureRegistrations()}) {
    bool procedure = from == &kelProcedureRegistrations();
    for (const KelNumberedStatement &s : *from) {
      if (s.group != KEL_REG_APPENDED) continue;
      if (out.empty() || out.back().name != s.name || out.back().procedure != procedure)
        out.push_back({s.name, procedure, {}});
      out.back().statements.push_back(s.text);
    }
  }
  return out;
}

std::vector<std::string> buildPreviousLevel() {
  std::vector<std::string> out;
  // What came after the previous level, newest first.
  Rows added = current([](const KelNumberedStatement &s) {
    return s.group == KEL_REG_APPENDED || s.group == KEL_REG_DTD_EXTRACT ||
           s.group == KEL_REG_DTD_VALIDATE ||
           (s.group == KEL_REG_PROCEDURE && isNamed(s, {"kelShredXML50MB", "kelInsertXML50MB"})) ||
           (s.group == KEL_REG_STORAGE && !kelStorageInPreviousLevel(s.specific));
  });
  std::reverse(added.begin(), added.end());
  addDrops(out, added);
  // The registrations whose texts changed since, replaced by their old forms.
  for (KelOldForm form : {KEL_OLD_RESULT_DOC_2G, KEL_OLD_XMLVARCHAR})
    for (const KelNumberedStatement &old : kelOldRegistrations(form)) {
      out.push_back(old.drop);
      out.push_back(old.text);
    }
  return out;
}

}  // namespace

const KelMigList &kelMigrationList(KelMigListId id) {
  static const std::vector<KelMigList> lists = buildLists();
  return lists.at(static_cast<size_t>(id));
}

const std::vector<KelMigAppended> &kelMigrationAppended() {
  static const std::vector<KelMigAppended> groups = buildAppended();
  return groups;
}

const std::vector<std::string> &kelPreviousLevelStatements() {
  static const std::vector<std::string> statements = buildPreviousLevel();
  return statements;
}
