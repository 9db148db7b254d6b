/*
 * translate_trigger.cpp - the translator's trigger definitions: events, transition variables,
 * the WHEN condition and the body's statements (SET, SIGNAL, data changes).
 */
#include "translator.h"

namespace quarn {

// ======================================================================= triggers

// CREATE TRIGGER, after CREATE: the SQLite condition and statements of the trigger.  Transition
// variables are SQLite's NEW and OLD; in an emulated event (triggers.h) the columns BEFORE
// triggers assign are read from the stored row.
TriggerPlan Translator::triggerDefinition(const TriggerContext &ctx) {
  size_t start = i_ > 0 ? i_ - 1 : 0;
  expectKw("TRIGGER");
  TriggerPlan tp;
  tp.name = qualName();
  if (acceptKw("NO")) {
    expectKw("CASCADE");
    expectKw("BEFORE");
    tp.time = 'B';
  } else if (acceptKw("BEFORE")) {
    tp.time = 'B';
  } else if (acceptKw("AFTER")) {
    tp.time = 'A';
  } else if (kw("INSTEAD")) {
    raise(kSqlStmtNotSupported, {"INSTEAD OF"});
  } else {
    fail("AFTER");
  }
  if (acceptKw("INSERT")) {
    tp.event = 'I';
  } else if (acceptKw("DELETE")) {
    tp.event = 'D';
  } else if (acceptKw("UPDATE")) {
    tp.event = 'U';
    if (acceptKw("OF")) {
      do tp.updateOf.push_back(name(kMaxColumn));
      while (acceptOp(","));
    }
  } else {
    fail("INSERT");
  }
  expectKw("ON");
  QualName tq = qualName();
  TableRef subject = resolveTable(tq);
  if (subject.info.type != 'T') raise(kSqlWrongObjectType, {tq.text(), "VIEW", "TABLE"});
  tp.table = QualName{subject.info.schema, subject.info.name};
  for (std::string &c : tp.updateOf) {
    const ColumnDef *col = subject.info.column(c);
    if (!col) raise(kSqlNotColumnOf, {c, tq.text()});
  }
  std::string newName, oldName;
  if (acceptKw("REFERENCING")) {
    for (;;) {
      if (kw("NEW_TABLE") || kw("OLD_TABLE") || ((kw("NEW") || kw("OLD")) && kw("TABLE", 1)))
        raise(kSqlStmtNotSupported, {"REFERENCING " + tk().text});
      bool isNew = kw("NEW");
      if (!isNew && !kw("OLD")) break;
      ++i_;
      acceptKw("ROW");
      acceptKw("AS");
      std::string &n = isNew ? newName : oldName;
      if (!n.empty()) fail("FOR");
      n = name(kMaxName);
    }
    if (newName.empty() && oldName.empty()) fail("NEW");
    if (newName == oldName) raise(kSqlDuplicateName, {newName});
  }
  // A transition variable the event does not have.
  if (!newName.empty() && tp.event == 'D') raise(kSqlCorrelationName, {newName});
  if (!oldName.empty() && tp.event == 'I') raise(kSqlCorrelationName, {oldName});
  if (acceptKw("FOR")) {
    expectKw("EACH");
    if (kw("STATEMENT")) raise(kSqlStmtNotSupported, {"FOR EACH STATEMENT"});
    expectKw("ROW");
  }
  if (acceptKw("MODE")) {
    if (!acceptKw("QUARNSQL")) fail("QUARNSQL");
  }

  triggerMode_ = true;
  deps_ = &tp.deps;
  std::vector<ScopeItem> transition;
  auto variable = [&](const std::string &corr, bool isNew) {
    ScopeItem item{corr, {}, true, {}, false};
    for (const ColumnDef &c : subject.info.columns) {
      ScopeColumn sc{c.name, c.name, c.type, {}};
      if (isNew && ctx.applied)
        sc.sql = "\"quarn_new\"." + quoteIdent(c.name);
      else if (isNew && ctx.emulated && ctx.storedCols.count(c.name))
        sc.sql = "(SELECT " + quoteIdent(c.name) + " FROM " + subject.sqlite + " WHERE rowid = NEW.rowid)";
      else
        sc.sql = std::string(isNew ? "NEW." : "OLD.") + quoteIdent(c.name);
      item.cols.push_back(sc);
    }
    transition.push_back(item);
  };
  if (!newName.empty()) variable(newName, true);
  if (!oldName.empty()) variable(oldName, false);
  scopes_.push_back(transition);
  size_t level = scopes_.size();

  if (acceptKw("WHEN")) {
    expectOp("(");
    tp.whenSql = expr();
    expectOp(")");
  }
  inBody_ = true;
  if (acceptKw("BEGIN")) {
    expectKw("ATOMIC");
    while (!kw("END")) {
      triggerBodyStatement(&tp, subject, newName);
      scopes_.resize(level);
      if (!acceptOp(";") && !kw("END")) fail(";");
    }
    expectKw("END");
  } else {
    triggerBodyStatement(&tp, subject, newName);
    scopes_.resize(level);
  }
  inBody_ = false;
  expectEnd();
  if (tp.body.empty()) fail("<triggered SQL statement>");
  deps_ = nullptr;
  tp.text = sqlText(start);
  while (!tp.text.empty() && (tp.text.back() == ';' || std::isspace(static_cast<unsigned char>(tp.text.back()))))
    tp.text.pop_back();
  return tp;
}

// One statement of a trigger body: SET of transition variables (BEFORE), SIGNAL, or a data
// change (AFTER).
void Translator::triggerBodyStatement(TriggerPlan *tp, const TableRef &subject, const std::string &newName) {
  if (acceptKw("SET")) {
    if (tp->time != 'B' || newName.empty()) raise(kSqlTriggerStatement, {"SET"});
    std::string call = "SELECT QTRIGSET(" + quoteString(subject.info.schema) + ", " +
                       quoteString(subject.info.name) + ", NEW.rowid";
    tp->sets.emplace_back();
    do {
      std::vector<std::string> parts{name(kMaxName)};
      while (acceptOp(".")) parts.push_back(name(kMaxName));
      if (parts.size() > 2 || (parts.size() == 2 && parts[0] != newName))
        raise(kSqlColumnInvalid, {parts.size() == 2 ? parts[0] + "." + parts[1] : parts.back()});
      const ColumnDef *c = subject.info.column(parts.back());
      if (!c) raise(kSqlNotColumnOf, {parts.back(), subject.info.schema + "." + subject.info.name});
      expectOp("=");
      std::string value;
      if (kw("DEFAULT") && (isOp(",", 1) || isOp(";", 1) || kw("END", 1) || tk(1).kind == Tok::End)) {
        ++i_;
        value = c->defaultSql.empty() ? "NULL" : c->defaultSql;
      } else {
        value = expr();
        value = assigned(value, lastType_, c->type);
      }
      call += ", " + quoteString(c->name) + ", " + value;
      tp->sets.back().emplace_back(c->name, value);
      tp->setCols.push_back(c->name);
    } while (acceptOp(","));
    tp->body.push_back(call + ");");
    return;
  }
  tp->otherStatements = true;
  if (acceptKw("SIGNAL")) {
    expectKw("SQLSTATE");
    if (tk().kind != Tok::String) fail("<sqlstate>");
    std::string state = tk().text;
    bool valid = state.size() == 5 && state.compare(0, 2, "00") != 0;
    for (char ch : state) valid = valid && ((ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'Z'));
    if (!valid) fail("<sqlstate>");
    ++i_;
    std::string text;
    if (acceptOp("(")) {
      if (tk().kind != Tok::String) fail("<string>");
      text = tk().text;
      ++i_;
      expectOp(")");
    } else if (acceptKw("SET")) {
      expectKw("MESSAGE_TEXT");
      expectOp("=");
      if (tk().kind != Tok::String) fail("<string>");
      text = tk().text;
      ++i_;
    }
    tp->body.push_back("SELECT RAISE(ABORT, " + quoteString(encodeError(QError{kSqlSignal, state, {text}})) + ");");
    return;
  }
  if (kw("INSERT") || kw("UPDATE") || kw("DELETE")) {
    if (tp->time == 'B') raise(kSqlTriggerStatement, {tk().text});
    const char event = kw("INSERT") ? 'I' : kw("UPDATE") ? 'U' : 'D';
    changedCols_.clear();
    Plan p = event == 'I' ? insertStmt() : event == 'U' ? updateStmt() : deleteStmt();
    tp->body.push_back(p.sql + ";");
    tp->changes.push_back(TriggerPlan::Change{changedTable_, event, changedCols_});
    return;
  }
  fail("SET");
}

}  // namespace quarn
