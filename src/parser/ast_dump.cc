// The canonical dump of a syntax tree. Each node becomes one line "Kind fields"; its children
// follow, one level deeper (two more spaces; past 40 levels the indent stays and the line starts
// with its depth, "[41] "). The lines, by node:
//
//   Regular / StandaloneCall                the root; below it the query
//   SinglePart, MultiPart                   a query between UNIONs; below: its clauses in order
//   QueryPart                               the clauses up to one WITH, then the With line
//   Union [all]                             one UNION arm; below: its query
//   Match [optional], Unwind VAR, Call PROC, CallSubquery
//   Create, Merge, OnMatch, OnCreate, Set, Remove, Delete [detach], Foreach VAR
//   SetProperty VAR.KEY..., SetAll VAR, SetMerge VAR, SetLabels VAR:L..., RemoveLabels VAR:L...,
//   RemoveProperty VAR.KEY...
//   With [distinct], Return [distinct] [star], Item [AS ALIAS], Sort asc|desc, OrderBy, Skip,
//   Limit, Where, Yield [FIELD AS] VAR
//   Path [VAR]                              a pattern part; below: Node, Rel, Node, ...
//   Node [VAR][:LABEL...]                   below: its Properties, if any
//   Rel DIRECTION [VAR][:TYPE|TYPE...] [*LOWER..UPPER]   (absent bounds print as nothing)
//   Properties {map entries} / Properties $NAME
//   Key NAME                                a map entry; below: its value
//   expressions: the kind's declared name, then its fields (Integer 42, Variable n,
//   PropertyAccess key, FunctionCall name [distinct], ListComprehension VAR,
//   Reduce ACCUMULATOR VARIABLE, ShortestPath [all]); sub-expressions below it, optional and
//   named ones under a label line (From, To, Operand, When, Else, In, Init, Where, Projection).
//
// Names print as written; a backslash and control characters are escaped (\\, \n, \t, \r,
// \xHH). String values print in double quotes with '"' escaped too. Floats print in their
// shortest round-trip form ("inf" for infinity).
//
// Expressions are walked with an explicit stack: their left spines can be as long as the query.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

#include "parser/ast.h"

namespace morvane::parser::ast {

namespace {

struct Line {
  std::uint32_t depth;
  std::string head;
};

// Lines are indented by two spaces per level down to this depth; deeper lines keep that indent
// and show their depth as "[N] ", so the dump of a deep tree stays linear in its size.
constexpr std::uint32_t kMaxIndent = 40;

void append_escaped(std::string& out, std::string_view text, bool quote) {
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      out += "\\\\";
    } else if (quote && c == '"') {
      out += "\\\"";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (byte < 0x20 || byte == 0x7F) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\x%02X", byte);
      out += buffer;
    } else {
      out += c;
    }
  }
}

std::string_view direction_name(Direction direction) {
  switch (direction) {
    case Direction::Outgoing:
      return "Outgoing";
    case Direction::Incoming:
      return "Incoming";
    case Direction::Undirected:
      return "Undirected";
  }
  return "";
}

class Dumper {
 public:
  explicit Dumper(const CypherQuery& query) : q_(query) {}

  std::vector<Line> lines;

  void root() {
    struct Visit {
      Dumper& d;
      void operator()(const RegularQuery& regular) {
        d.line(0, "Regular");
        d.regular_query(regular, 1);
      }
      void operator()(const CallClause& call) {
        d.line(0, "StandaloneCall");
        d.call_clause(call, 1);
      }
    };
    std::visit(Visit{*this}, q_.root());
  }

  void expr(ExprId root, std::uint32_t depth);

 private:
  // One step of the expression walk: an expression, or a label line over the next steps.
  struct Task {
    std::uint32_t depth;
    ExprId expr;             // present: dump this expression
    const char* label;       // otherwise: this label line...
    std::optional<Str> key;  // ...or "Key NAME"
  };

  void line(std::uint32_t depth, std::string head) { lines.push_back({depth, std::move(head)}); }

  std::string name(Str str) const {
    std::string out;
    append_escaped(out, q_.text(str), false);
    return out;
  }
  std::string with_name(std::string head, Str str) const {
    head += ' ';
    append_escaped(head, q_.text(str), false);
    return head;
  }
  std::string names(std::string head, List<Str> list, char lead, char separator) const {
    bool first = true;
    for (const Str& s : q_[list]) {
      head += first ? lead : separator;
      append_escaped(head, q_.text(s), false);
      first = false;
    }
    return head;
  }

  void labelled(const char* label, ExprId e, std::uint32_t depth) {
    if (!e.present()) return;
    line(depth, label);
    expr(e, depth + 1);
  }

  void regular_query(const RegularQuery& regular, std::uint32_t depth) {
    single_query(regular.single_query, depth);
    for (const UnionArm& arm : q_[regular.unions]) {
      line(depth, arm.all ? "Union all" : "Union");
      single_query(arm.query, depth + 1);
    }
  }

  void single_query(const SingleQuery& single, std::uint32_t depth) {
    if (const auto* part = std::get_if<SinglePartQuery>(&single.variant)) {
      line(depth, "SinglePart");
      clauses(part->reading_clauses, part->updating_clauses, depth + 1);
      if (part->return_clause.present()) return_clause(q_[part->return_clause], depth + 1);
      return;
    }
    const auto& multi = std::get<MultiPartQuery>(single.variant);
    line(depth, "MultiPart");
    for (const QueryPart& part : q_[multi.parts]) {
      line(depth + 1, "QueryPart");
      clauses(part.reading_clauses, part.updating_clauses, depth + 2);
      with_clause(part.with_clause, depth + 2);
    }
    clauses(multi.reading_clauses, multi.updating_clauses, depth + 1);
    if (multi.return_clause.present()) return_clause(q_[multi.return_clause], depth + 1);
  }

  void clauses(List<ReadingClause> reading, List<UpdatingClause> updating, std::uint32_t depth) {
    for (const ReadingClause& clause : q_[reading]) reading_clause(clause, depth);
    for (const UpdatingClause& clause : q_[updating]) updating_clause(clause, depth);
  }

  void reading_clause(const ReadingClause& clause, std::uint32_t depth) {
    struct Visit {
      Dumper& d;
      std::uint32_t depth;
      void operator()(const ReadingClause::Match& match) {
        d.line(depth, match.optional ? "Match optional" : "Match");
        d.pattern(match.pattern, depth + 1);
        d.labelled("Where", match.where_clause, depth + 1);
      }
      void operator()(const ReadingClause::Unwind& unwind) {
        d.line(depth, d.with_name("Unwind", unwind.variable));
        d.expr(unwind.expr, depth + 1);
      }
      void operator()(const CallClause& call) { d.call_clause(call, depth); }
      void operator()(const RegularQuery& query) {
        d.line(depth, "CallSubquery");
        d.regular_query(query, depth + 1);
      }
    };
    std::visit(Visit{*this, depth}, clause.variant);
  }

  void call_clause(const CallClause& call, std::uint32_t depth) {
    line(depth, with_name("Call", call.procedure));
    for (ExprId arg : ids(call.args)) expr(arg, depth + 1);
    for (const YieldItem& item : q_[call.yield_items]) {
      std::string head = "Yield";
      if (item.field) head = with_name(head, *item.field) + " AS";
      line(depth + 1, with_name(head, item.variable));
    }
  }

  void updating_clause(const UpdatingClause& clause, std::uint32_t depth) {
    struct Visit {
      Dumper& d;
      std::uint32_t depth;
      void operator()(const Pattern& create) {
        d.line(depth, "Create");
        d.pattern(create, depth + 1);
      }
      void operator()(const UpdatingClause::Merge& merge) {
        d.line(depth, "Merge");
        d.pattern_part(merge.pattern_part, depth + 1);
        for (const List<SetItem>& items : d.q_[merge.on_match]) {
          d.line(depth + 1, "OnMatch");
          d.set_items(items, depth + 2);
        }
        for (const List<SetItem>& items : d.q_[merge.on_create]) {
          d.line(depth + 1, "OnCreate");
          d.set_items(items, depth + 2);
        }
      }
      void operator()(const UpdatingClause::Set& set) {
        d.line(depth, "Set");
        d.set_items(set.items, depth + 1);
      }
      void operator()(const UpdatingClause::Remove& remove) {
        d.line(depth, "Remove");
        for (const RemoveItem& item : d.q_[remove.items]) {
          if (const auto* labels = std::get_if<RemoveItem::Labels>(&item.variant)) {
            d.line(depth + 1,
                   d.names(d.with_name("RemoveLabels", labels->variable), labels->labels, ':', ':'));
          } else {
            d.line(depth + 1, d.property("RemoveProperty", std::get<PropertyExpr>(item.variant)));
          }
        }
      }
      void operator()(const UpdatingClause::Delete& del) {
        d.line(depth, del.detach ? "Delete detach" : "Delete");
        for (ExprId e : d.ids(del.exprs)) d.expr(e, depth + 1);
      }
      void operator()(const UpdatingClause::Foreach& foreach) {
        d.line(depth, d.with_name("Foreach", foreach.variable));
        d.expr(foreach.list, depth + 1);
        for (const UpdatingClause& body : d.q_[foreach.body]) d.updating_clause(body, depth + 1);
      }
    };
    std::visit(Visit{*this, depth}, clause.variant);
  }

  std::string property(std::string head, const PropertyExpr& property) const {
    return names(with_name(std::move(head), property.variable), property.keys, '.', '.');
  }

  void set_items(List<SetItem> items, std::uint32_t depth) {
    struct Visit {
      Dumper& d;
      std::uint32_t depth;
      void operator()(const SetItem::Property& item) {
        d.line(depth, d.property("SetProperty", item.property));
        d.expr(item.value, depth + 1);
      }
      void operator()(const SetItem::AllProperties& item) {
        d.line(depth, d.with_name("SetAll", item.variable));
        d.expr(item.value, depth + 1);
      }
      void operator()(const SetItem::MergeProperties& item) {
        d.line(depth, d.with_name("SetMerge", item.variable));
        d.expr(item.value, depth + 1);
      }
      void operator()(const SetItem::Labels& item) {
        d.line(depth, d.names(d.with_name("SetLabels", item.variable), item.labels, ':', ':'));
      }
    };
    for (const SetItem& item : q_[items]) std::visit(Visit{*this, depth}, item.variant);
  }

  void projection_items(List<ReturnItem> items, std::uint32_t depth) {
    for (const ReturnItem& item : q_[items]) {
      line(depth, item.alias ? with_name("Item AS", *item.alias) : "Item");
      expr(item.expr, depth + 1);
    }
  }

  void order_by(const std::optional<List<SortItem>>& sorts, std::uint32_t depth) {
    if (!sorts) return;
    line(depth, "OrderBy");
    for (const SortItem& sort : q_[*sorts]) {
      line(depth + 1, sort.descending ? "Sort desc" : "Sort asc");
      expr(sort.expr, depth + 2);
    }
  }

  void return_clause(const ReturnClause& clause, std::uint32_t depth) {
    std::string head = clause.distinct ? "Return distinct" : "Return";
    const auto* items = std::get_if<ReturnItems::Items>(&clause.items.variant);
    if (items == nullptr) head += " star";
    line(depth, std::move(head));
    if (items != nullptr) projection_items(*items, depth + 1);
    order_by(clause.order_by, depth + 1);
    labelled("Skip", clause.skip, depth + 1);
    labelled("Limit", clause.limit, depth + 1);
  }

  void with_clause(const WithClause& clause, std::uint32_t depth) {
    line(depth, clause.distinct ? "With distinct" : "With");
    projection_items(clause.items, depth + 1);
    order_by(clause.order_by, depth + 1);
    labelled("Skip", clause.skip, depth + 1);
    labelled("Limit", clause.limit, depth + 1);
    labelled("Where", clause.where_clause, depth + 1);
  }

  void pattern(const Pattern& pattern, std::uint32_t depth) {
    for (const PatternPart& part : q_[pattern.parts]) pattern_part(part, depth);
  }

  void pattern_part(const PatternPart& part, std::uint32_t depth) {
    line(depth, part.variable ? with_name("Path", *part.variable) : "Path");
    element(part.element, depth + 1);
  }

  void element(const PatternElement& element, std::uint32_t depth) {
    node(element.start, depth);
    for (const PatternStep& step : q_[element.chain]) {
      relationship(step.relationship, depth);
      node(step.node, depth);
    }
  }

  void node(const NodePattern& node, std::uint32_t depth) {
    std::string head = "Node";
    if (node.variable) head = with_name(head, *node.variable);
    line(depth, names(head + (node.variable || node.labels.empty() ? "" : " "), node.labels, ':',
                      ':'));
    if (node.properties) properties(*node.properties, depth + 1);
  }

  void relationship(const RelationshipPattern& rel, std::uint32_t depth) {
    std::string head = "Rel ";
    head += direction_name(rel.direction);
    if (rel.variable) head = with_name(head, *rel.variable);
    head = names(head + (rel.variable || rel.rel_types.empty() ? "" : " "), rel.rel_types, ':',
                 '|');
    if (rel.range) {
      head += " *";
      if (rel.range->lower) head += std::to_string(*rel.range->lower);
      head += "..";
      if (rel.range->upper) head += std::to_string(*rel.range->upper);
    }
    line(depth, std::move(head));
    if (rel.properties) properties(*rel.properties, depth + 1);
  }

  void properties(const MapOrParam& properties, std::uint32_t depth) {
    if (const auto* param = std::get_if<MapOrParam::Param>(&properties.variant)) {
      line(depth, "Properties $" + name(param->name));
      return;
    }
    line(depth, "Properties");
    for (const MapEntry& entry : q_[std::get<MapOrParam::Map>(properties.variant).entries]) {
      line(depth + 1, with_name("Key", entry.key));
      expr(entry.value, depth + 2);
    }
  }

  template <class T>
  std::vector<Id<T>> ids(List<T> list) const {
    const ListView<T> view = q_[list];
    std::vector<Id<T>> out;
    out.reserve(view.size());
    for (std::uint32_t i = 0; i < view.size(); ++i) out.push_back(view.id(i));
    return out;
  }

  std::string expr_head(const Expr& e) const;
  void push_children(const Expr& e, std::uint32_t depth, std::vector<Task>& stack);

  const CypherQuery& q_;
};

std::string Dumper::expr_head(const Expr& e) const {
  std::string head(expr_kind_name(e.kind()));
  switch (shape(e.kind())) {
    case ExprShape::Integer:
      return head + ' ' + std::to_string(e.integer());
    case ExprShape::Float: {
      char buffer[32];
      const auto result = std::to_chars(buffer, buffer + sizeof buffer, e.float_value());
      return head + ' ' + std::string(buffer, result.ptr);
    }
    case ExprShape::String:
      head += " \"";
      append_escaped(head, q_.text(e.string()), true);
      return head + '"';
    case ExprShape::Boolean:
      return head + (e.boolean() ? " true" : " false");
    case ExprShape::Name:
      return with_name(head, e.name());
    case ExprShape::PropertyAccess:
      return with_name(head, e.property_access().key);
    case ExprShape::FunctionCall:
      head = with_name(head, e.function_call().name);
      return e.function_call().distinct ? head + " distinct" : head;
    case ExprShape::ListComprehension:
      return with_name(head, e.list_comprehension().variable);
    case ExprShape::Quantifier:
      return with_name(head, e.quantifier().variable);
    case ExprShape::Reduce:
      return with_name(with_name(head, e.reduce().accumulator), e.reduce().variable);
    case ExprShape::ShortestPath:
      return e.shortest_path().all ? head + " all" : head;
    case ExprShape::Empty:
    case ExprShape::List:
    case ExprShape::Map:
    case ExprShape::Subscript:
    case ExprShape::Slice:
    case ExprShape::Binary:
    case ExprShape::Unary:
    case ExprShape::Case:
    case ExprShape::PatternComprehension:
    case ExprShape::Exists:
    case ExprShape::Subquery:
      return head;
  }
  return head;
}

// The label line a child in `slot` hangs under, one level below its parent; none for a direct
// child (which takes that level itself), a map value (under its "Key NAME" line) and THEN
// (under the WHEN label of its alternative).
const char* slot_label(ExprSlot slot) {
  switch (slot) {
    case ExprSlot::Direct:
    case ExprSlot::Key:
    case ExprSlot::Then:
      return nullptr;
    case ExprSlot::From:
      return "From";
    case ExprSlot::To:
      return "To";
    case ExprSlot::Operand:
      return "Operand";
    case ExprSlot::When:
      return "When";
    case ExprSlot::Else:
      return "Else";
    case ExprSlot::Init:
      return "Init";
    case ExprSlot::In:
      return "In";
    case ExprSlot::Where:
      return "Where";
    case ExprSlot::Projection:
      return "Projection";
  }
  return nullptr;
}

// Pushes the steps below `e` so that they pop in written order, each child before the label
// line over it. Paths and subqueries have no expression spine of their own and are dumped on
// the spot.
void Dumper::push_children(const Expr& e, std::uint32_t depth, std::vector<Task>& stack) {
  const std::uint32_t below = depth + 1;
  for_each_child_reversed(q_, e, Overloaded{
      [&](ExprChild child) {
        if (child.slot == ExprSlot::Direct) {
          stack.push_back({below, child.expr, nullptr, {}});
          return;
        }
        stack.push_back({below + 1, child.expr, nullptr, {}});
        if (child.slot == ExprSlot::Key) {
          stack.push_back({below, {}, nullptr, child.key});
        } else if (const char* label = slot_label(child.slot)) {
          stack.push_back({below, {}, label, {}});
        }
      },
      [&](PathChild path) { element(q_[path.element], below); },
      [&](Id<ExistsSubquery> id) {
        const ExistsSubquery& exists = q_[id];
        if (const auto* p = std::get_if<Pattern>(&exists.variant)) {
          pattern(*p, below);
        } else {
          regular_query(std::get<RegularQuery>(exists.variant), below);
        }
      },
      [&](Id<RegularQuery> id) { regular_query(q_[id], below); },
      [](BoundVariable) {},
  });
}

void Dumper::expr(ExprId root, std::uint32_t depth) {
  std::vector<Task> stack{{depth, root, nullptr, {}}};
  while (!stack.empty()) {
    const Task task = stack.back();
    stack.pop_back();
    if (task.expr.present()) {
      const Expr& e = q_[task.expr];
      line(task.depth, expr_head(e));
      push_children(e, task.depth, stack);
    } else if (task.key) {
      line(task.depth, with_name("Key", *task.key));
    } else {
      line(task.depth, task.label);
    }
  }
}

std::string render(const std::vector<Line>& lines, DumpStyle style) {
  std::string out;
  if (style == DumpStyle::kLines) {
    for (const Line& l : lines) {
      out.append(2 * std::size_t{std::min(l.depth, kMaxIndent)}, ' ');
      if (l.depth > kMaxIndent) out += '[' + std::to_string(l.depth) + "] ";
      out += l.head;
      out += '\n';
    }
    return out;
  }
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) {
      if (lines[i].depth > lines[i - 1].depth) {
        out += '{';
      } else {
        out.append(lines[i - 1].depth - lines[i].depth, '}');
        out += ", ";
      }
    }
    out += lines[i].head;
  }
  if (!lines.empty()) out.append(lines.back().depth - lines.front().depth, '}');
  return out;
}

}  // namespace

std::string dump(const CypherQuery& query, DumpStyle style) {
  Dumper dumper(query);
  dumper.root();
  return render(dumper.lines, style);
}

std::string dump_expr(const CypherQuery& query, ExprId expr, DumpStyle style) {
  Dumper dumper(query);
  dumper.expr(expr, 0);
  return render(dumper.lines, style);
}

}  // namespace morvane::parser::ast
