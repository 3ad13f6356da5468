// The syntax tree of one query, as the builder makes it from the recognizer's pairs.
//
// A CypherQuery owns everything it holds in one byte buffer: the nodes, the index arrays of its
// lists and copies of every name and literal text. Nodes refer to each other by typed offsets
// into that buffer (Id<T>, List<T>, Str), never by pointers and never into the query text or
// the tape, so a tree is moved, copied (deeply: one buffer copy) and dropped as one value and
// outlives the text it was built from. Every node type is trivially copyable.
//
// Readers take the tree by const& and look nodes up through it: `query[id]` gives the node,
// `query[list]` a view of the list's elements in written order, `query.text(str)` the text.
// Nothing changes a tree once it is built.
//
// The enumerations of the design (CypherQuery, SingleQuery, ReadingClause, UpdatingClause,
// SetItem, RemoveItem, ReturnItems, MapOrParam, ExistsSubquery) are a std::variant named
// `variant` whose alternatives carry the documented variant names (as nested types or
// aliases), so `std::get_if<ReadingClause::Match>(&clause.variant)` and std::visit work. Expr is
// a tagged node: `kind()` selects the payload accessor, which asserts the kind.
//
// Depth: nesting through rules (parentheses, lists, subqueries) is bounded by the recognizer's
// kMaxRuleDepth, but chains of one operator fold from the left (`a + b + ... + z`), as do NOT
// chains and postfix chains (`a.b.c...`), so an expression's left spine can be as deep as the
// query is long. Walk expressions with an explicit stack, as dump() does; for_each_child_reversed
// gives a node's children to such a walk.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace morvane::parser::builder {
class Builder;
}

namespace morvane::parser::ast {

inline constexpr std::uint32_t kAbsent = 0xFFFFFFFFu;

// A node of type T in its tree. Required fields always hold a present id; fields documented as
// optional hold an absent one when the query leaves the part out.
template <class T>
struct Id {
  std::uint32_t at = kAbsent;
  bool present() const { return at != kAbsent; }
  friend bool operator==(Id, Id) = default;
};

// A list of T in written order (possibly empty).
template <class T>
struct List {
  std::uint32_t at = 0;
  std::uint32_t size = 0;
  bool empty() const { return size == 0; }
};

// A text the tree owns: a name exactly as written (case and back-ticks kept) or a literal's
// value.
struct Str {
  std::uint32_t at = 0;
  std::uint32_t size = 0;
};

// Byte offsets [begin, end) into the query the tree was built from.
struct Span {
  std::uint32_t begin = 0;
  std::uint32_t end = 0;
};

struct Expr;
struct MapEntry;
struct CaseAlternative;
struct PatternElement;
struct RegularQuery;
struct ExistsSubquery;
struct ReturnClause;
struct UpdatingClause;
struct SetItem;

using ExprId = Id<Expr>;

// ---- Patterns ----

// The arrow of a relationship pattern. A pattern with heads at both ends is Incoming.
enum class Direction : std::uint8_t {
  Outgoing,    // -[...]->, -->: the node before is the source, the node after the target
  Incoming,    // <-[...]-, <--, <-[...]->, <-->: the node after is the source
  Undirected,  // -[...]-, --
};

// One key of a map; keys of one map are unique and kept in the order first written.
struct MapEntry {
  Str key;
  ExprId value;
};

struct MapOrParam {
  struct Map {
    List<MapEntry> entries;
  };
  struct Param {
    Str name;  // without the leading "$"
  };
  std::variant<Map, Param> variant;
};

struct NodePattern {
  std::optional<Str> variable;
  List<Str> labels;  // in written order, repeats kept
  std::optional<MapOrParam> properties;
};

// A variable-length range: "*" gives two absent bounds, "*3" (3, 3), "*2.." (2, absent),
// "*2..5" (2, 5). A bound that does not read as a decimal signed 64-bit integer is absent.
struct Range {
  std::optional<std::int64_t> lower;
  std::optional<std::int64_t> upper;
};

struct RelationshipPattern {
  Direction direction = Direction::Undirected;
  std::optional<Str> variable;
  List<Str> rel_types;  // the alternatives in written order; empty means any type
  std::optional<Range> range;  // absent when no "*" is written
  std::optional<MapOrParam> properties;
};

// One step of a path: a relationship and the node written after it.
struct PatternStep {
  RelationshipPattern relationship;
  NodePattern node;
};

// A path; shortestPath(...) in a pattern is held as its inner path.
struct PatternElement {
  NodePattern start;
  List<PatternStep> chain;
};

struct PatternPart {
  std::optional<Str> variable;  // the path variable of `p = ...`
  PatternElement element;
};

struct Pattern {
  List<PatternPart> parts;
};

// ---- Expressions ----

// The 50 kinds of Expr, in declaration order, each with the syntax it stands for. The shape
// (below) names the payload a kind is read through.
enum class ExprKind : std::uint8_t {
  Integer,               // an integer literal; 0 when it exceeds 64 bits
  Float,                 // a float literal
  String,                // 'text' or "text": the text between the quotes, unchanged
  Boolean,               // true, false
  Null,                  // null
  List,                  // [item, ...]
  Map,                   // {key: value, ...}: unique keys, first-written order, last value wins
  Variable,              // name, as written
  PropertyAccess,        // expr.key
  Subscript,             // expr[index]
  Slice,                 // expr[from..to], either bound left out
  Parameter,             // $name: the name without the "$"
  Or,                    // left OR right
  Xor,                   // left XOR right
  And,                   // left AND right
  Not,                   // NOT expr
  Equal,                 // left = right
  NotEqual,              // left <> right
  LessThan,              // left < right
  LessOrEqual,           // left <= right
  GreaterThan,           // left > right
  GreaterOrEqual,        // left >= right
  RegexMatch,            // left =~ right
  IsNull,                // expr IS NULL
  IsNotNull,             // expr IS NOT NULL
  In,                    // left IN right
  StartsWith,            // left STARTS WITH right
  EndsWith,              // left ENDS WITH right
  Contains,              // left CONTAINS right
  Add,                   // left + right
  Subtract,              // left - right
  Multiply,              // left * right
  Divide,                // left / right
  Modulo,                // left % right
  Power,                 // left ^ right
  Negate,                // -expr
  FunctionCall,          // name(args), name(DISTINCT args); the name with its namespace
  CountStar,             // count(*)
  Case,                  // CASE [operand] WHEN when THEN then ... [ELSE else_expr] END
  ListComprehension,     // [variable IN list [WHERE where_clause] [| projection]]
  All,                   // all(variable IN list [WHERE where_clause])
  Any,                   // any(variable IN list [WHERE where_clause])
  None,                  // none(variable IN list [WHERE where_clause])
  Single,                // single(variable IN list [WHERE where_clause])
  Reduce,                // reduce(accumulator = init, variable IN list | projection)
  ShortestPath,          // shortestPath(pattern), allShortestPaths(pattern)
  PatternComprehension,  // [pattern [WHERE where_clause] | projection]
  Exists,                // EXISTS { ... }
  CountSubquery,         // COUNT { query }
  CollectSubquery,       // COLLECT { query }
};

inline constexpr int kExprKindCount = 50;

// The kind's name as declared ("Integer", "PropertyAccess", ...). The view is static.
std::string_view expr_kind_name(ExprKind kind);

// What an expression of a kind holds: the one payload accessor it is read through, and with it
// the children it has. Kinds of one shape differ only in their meaning.
enum class ExprShape : std::uint8_t {
  Integer,               // integer()
  Float,                 // float_value()
  String,                // string()
  Boolean,               // boolean()
  Empty,                 // no payload: Null, CountStar
  List,                  // list(): the items
  Map,                   // map(): the entries
  Name,                  // name(): Variable, Parameter
  PropertyAccess,        // property_access(): expr, key
  Subscript,             // subscript(): expr, index
  Slice,                 // slice(): expr, optional from and to
  Binary,                // binary(): left, right; every operator kind from Or to Power but Not,
                         // IsNull and IsNotNull
  Unary,                 // unary(): expr; Not, IsNull, IsNotNull, Negate
  FunctionCall,          // function_call(): name, distinct, args
  Case,                  // case_expr(): optional operand, alternatives, optional else_expr
  ListComprehension,     // list_comprehension(): variable, list, optional where and projection
  Quantifier,            // quantifier(): variable, list, optional where_clause; All, Any, None,
                         // Single
  Reduce,                // reduce(): accumulator, init, variable, list, projection
  ShortestPath,          // shortest_path(): all, pattern
  PatternComprehension,  // pattern_comprehension(): pattern, optional where, projection
  Exists,                // exists(): the ExistsSubquery
  Subquery,              // subquery(): the RegularQuery between the braces; CountSubquery,
                         // CollectSubquery
};

// The one switch over every kind: walkers dispatch on the shape (or use for_each_child_reversed),
// so a new kind is placed here once and the compiler points at this switch until it is.
constexpr ExprShape shape(ExprKind kind) {
  switch (kind) {
    case ExprKind::Integer:
      return ExprShape::Integer;
    case ExprKind::Float:
      return ExprShape::Float;
    case ExprKind::String:
      return ExprShape::String;
    case ExprKind::Boolean:
      return ExprShape::Boolean;
    case ExprKind::Null:
    case ExprKind::CountStar:
      return ExprShape::Empty;
    case ExprKind::List:
      return ExprShape::List;
    case ExprKind::Map:
      return ExprShape::Map;
    case ExprKind::Variable:
    case ExprKind::Parameter:
      return ExprShape::Name;
    case ExprKind::PropertyAccess:
      return ExprShape::PropertyAccess;
    case ExprKind::Subscript:
      return ExprShape::Subscript;
    case ExprKind::Slice:
      return ExprShape::Slice;
    case ExprKind::Or:
    case ExprKind::Xor:
    case ExprKind::And:
    case ExprKind::Equal:
    case ExprKind::NotEqual:
    case ExprKind::LessThan:
    case ExprKind::LessOrEqual:
    case ExprKind::GreaterThan:
    case ExprKind::GreaterOrEqual:
    case ExprKind::RegexMatch:
    case ExprKind::In:
    case ExprKind::StartsWith:
    case ExprKind::EndsWith:
    case ExprKind::Contains:
    case ExprKind::Add:
    case ExprKind::Subtract:
    case ExprKind::Multiply:
    case ExprKind::Divide:
    case ExprKind::Modulo:
    case ExprKind::Power:
      return ExprShape::Binary;
    case ExprKind::Not:
    case ExprKind::IsNull:
    case ExprKind::IsNotNull:
    case ExprKind::Negate:
      return ExprShape::Unary;
    case ExprKind::FunctionCall:
      return ExprShape::FunctionCall;
    case ExprKind::Case:
      return ExprShape::Case;
    case ExprKind::ListComprehension:
      return ExprShape::ListComprehension;
    case ExprKind::All:
    case ExprKind::Any:
    case ExprKind::None:
    case ExprKind::Single:
      return ExprShape::Quantifier;
    case ExprKind::Reduce:
      return ExprShape::Reduce;
    case ExprKind::ShortestPath:
      return ExprShape::ShortestPath;
    case ExprKind::PatternComprehension:
      return ExprShape::PatternComprehension;
    case ExprKind::Exists:
      return ExprShape::Exists;
    case ExprKind::CountSubquery:
    case ExprKind::CollectSubquery:
      return ExprShape::Subquery;
  }
  return ExprShape::Empty;
}

struct BinaryExpr {
  ExprId left;   // the operand written first
  ExprId right;
};
struct UnaryExpr {
  ExprId expr;
};
struct PropertyAccessExpr {
  ExprId expr;
  Str key;
};
struct SubscriptExpr {
  ExprId expr;
  ExprId index;
};
struct SliceExpr {
  ExprId expr;
  ExprId from;  // optional: the bound written before ".."
  ExprId to;    // optional: the bound written after it
};
struct FunctionCallExpr {
  Str name;
  bool distinct;
  List<Expr> args;
};
struct CaseAlternative {
  ExprId when;
  ExprId then;
};
struct CaseExpr {
  ExprId operand;  // optional: absent in the searched form
  List<CaseAlternative> alternatives;
  ExprId else_expr;  // optional
};
struct ListComprehensionExpr {
  Str variable;
  ExprId list;
  ExprId where_clause;  // optional
  ExprId projection;    // optional
};
struct QuantifierExpr {
  Str variable;
  ExprId list;
  ExprId where_clause;  // optional
};
struct ReduceExpr {
  Str accumulator;
  ExprId init;
  Str variable;
  ExprId list;
  ExprId projection;
};
struct ShortestPathExpr {
  bool all;  // allShortestPaths
  Id<PatternElement> pattern;
};
struct PatternComprehensionExpr {
  Id<PatternElement> pattern;
  ExprId where_clause;  // optional
  ExprId projection;
};

// An expression node. Made only through the make_* functions; read through the accessor that
// shape(kind()) names (each asserts the shape).
struct Expr {
 public:
  ExprKind kind() const { return kind_; }
  Span span() const { return span_; }

  std::int64_t integer() const { return check(ExprShape::Integer).integer; }
  double float_value() const { return check(ExprShape::Float).number; }
  Str string() const { return check(ExprShape::String).text; }
  bool boolean() const { return check(ExprShape::Boolean).flag; }
  ast::List<Expr> list() const { return check(ExprShape::List).items; }
  ast::List<MapEntry> map() const { return check(ExprShape::Map).entries; }
  Str name() const { return check(ExprShape::Name).text; }
  const PropertyAccessExpr& property_access() const {
    return check(ExprShape::PropertyAccess).property_access;
  }
  const SubscriptExpr& subscript() const { return check(ExprShape::Subscript).subscript; }
  const SliceExpr& slice() const { return check(ExprShape::Slice).slice; }
  const BinaryExpr& binary() const { return check(ExprShape::Binary).binary; }
  const UnaryExpr& unary() const { return check(ExprShape::Unary).unary; }
  const FunctionCallExpr& function_call() const {
    return check(ExprShape::FunctionCall).function_call;
  }
  const CaseExpr& case_expr() const { return check(ExprShape::Case).case_expr; }
  const ListComprehensionExpr& list_comprehension() const {
    return check(ExprShape::ListComprehension).list_comprehension;
  }
  const QuantifierExpr& quantifier() const { return check(ExprShape::Quantifier).quantifier; }
  const ReduceExpr& reduce() const { return check(ExprShape::Reduce).reduce; }
  const ShortestPathExpr& shortest_path() const {
    return check(ExprShape::ShortestPath).shortest_path;
  }
  const PatternComprehensionExpr& pattern_comprehension() const {
    return check(ExprShape::PatternComprehension).pattern_comprehension;
  }
  Id<ExistsSubquery> exists() const { return check(ExprShape::Exists).exists; }
  Id<RegularQuery> subquery() const { return check(ExprShape::Subquery).subquery; }

  static Expr make_integer(Span span, std::int64_t value);
  static Expr make_float(Span span, double value);
  static Expr make_string(Span span, Str text);
  static Expr make_boolean(Span span, bool value);
  static Expr make_empty(ExprKind kind, Span span);  // Null, CountStar
  static Expr make_list(Span span, ast::List<Expr> items);
  static Expr make_map(Span span, ast::List<MapEntry> entries);
  static Expr make_name(ExprKind kind, Span span, Str name);  // Variable, Parameter
  static Expr make_property_access(Span span, PropertyAccessExpr payload);
  static Expr make_subscript(Span span, SubscriptExpr payload);
  static Expr make_slice(Span span, SliceExpr payload);
  static Expr make_binary(ExprKind kind, Span span, BinaryExpr payload);
  static Expr make_unary(ExprKind kind, Span span, UnaryExpr payload);
  static Expr make_function_call(Span span, FunctionCallExpr payload);
  static Expr make_case(Span span, CaseExpr payload);
  static Expr make_list_comprehension(Span span, ListComprehensionExpr payload);
  static Expr make_quantifier(ExprKind kind, Span span, QuantifierExpr payload);
  static Expr make_reduce(Span span, ReduceExpr payload);
  static Expr make_shortest_path(Span span, ShortestPathExpr payload);
  static Expr make_pattern_comprehension(Span span, PatternComprehensionExpr payload);
  static Expr make_exists(Span span, Id<ExistsSubquery> subquery);
  static Expr make_subquery(ExprKind kind, Span span, Id<RegularQuery> query);

 private:
  union Payload {
    Payload() : integer(0) {}
    std::int64_t integer;
    double number;
    Str text;
    bool flag;
    ast::List<Expr> items;
    ast::List<MapEntry> entries;
    PropertyAccessExpr property_access;
    SubscriptExpr subscript;
    SliceExpr slice;
    BinaryExpr binary;
    UnaryExpr unary;
    FunctionCallExpr function_call;
    CaseExpr case_expr;
    ListComprehensionExpr list_comprehension;
    QuantifierExpr quantifier;
    ReduceExpr reduce;
    ShortestPathExpr shortest_path;
    PatternComprehensionExpr pattern_comprehension;
    Id<ExistsSubquery> exists;
    Id<RegularQuery> subquery;
  };

  Expr(ExprKind kind, Span span) : kind_(kind), span_(span) {}
  const Payload& check([[maybe_unused]] ExprShape expected) const {
    assert(shape(kind_) == expected);
    return u_;
  }

  ExprKind kind_;
  Span span_;
  Payload u_;
};

// ---- Clauses and queries ----

// The target of a SET or REMOVE item: a variable and one or more keys (`n.a.b`: a, b).
struct PropertyExpr {
  Str variable;
  List<Str> keys;
};

struct SetItem {
  struct Property {  // n.key... = value
    PropertyExpr property;
    ExprId value;
  };
  struct AllProperties {  // n = value
    Str variable;
    ExprId value;
  };
  struct MergeProperties {  // n += value
    Str variable;
    ExprId value;
  };
  struct Labels {  // n:A:B
    Str variable;
    List<Str> labels;
  };
  std::variant<Property, AllProperties, MergeProperties, Labels> variant;
};

struct RemoveItem {
  struct Labels {  // n:A:B
    Str variable;
    List<Str> labels;
  };
  using Property = PropertyExpr;  // n.key...
  std::variant<Labels, Property> variant;
};

struct YieldItem {
  std::optional<Str> field;  // the name before AS; absent for a bare name
  Str variable;
};

// A procedure call, inside a query or standing alone.
struct CallClause {
  Str procedure;  // as written, with its dots
  List<Expr> args;
  List<YieldItem> yield_items;  // empty without YIELD
};

struct SortItem {
  ExprId expr;
  bool descending = false;
};

struct ReturnItem {
  ExprId expr;
  std::optional<Str> alias;
};

// The builder always makes Items; an empty list stands for RETURN *.
struct ReturnItems {
  struct Star {};
  using Items = List<ReturnItem>;
  std::variant<Star, Items> variant;
};

struct ReturnClause {
  bool distinct = false;
  ReturnItems items;
  std::optional<List<SortItem>> order_by;  // present (non-empty) when ORDER BY is written
  ExprId skip;   // optional
  ExprId limit;  // optional
};

struct WithClause {
  bool distinct = false;
  List<ReturnItem> items;  // empty for WITH *
  std::optional<List<SortItem>> order_by;
  ExprId skip;          // optional
  ExprId limit;         // optional
  ExprId where_clause;  // optional
};

struct UpdatingClause {
  using Create = Pattern;
  struct Merge {
    PatternPart pattern_part;
    List<List<SetItem>> on_match;   // one inner list per ON MATCH SET
    List<List<SetItem>> on_create;  // one inner list per ON CREATE SET
  };
  struct Set {
    List<SetItem> items;
  };
  struct Remove {
    List<RemoveItem> items;
  };
  struct Delete {
    bool detach;
    List<Expr> exprs;
  };
  struct Foreach {
    Str variable;
    ExprId list;
    List<UpdatingClause> body;
  };
  std::variant<Create, Merge, Set, Remove, Delete, Foreach> variant;
};

struct ReadingClause;

struct SinglePartQuery {
  List<ReadingClause> reading_clauses;
  List<UpdatingClause> updating_clauses;
  Id<ReturnClause> return_clause;  // optional
};

// The clauses written up to one WITH (after the previous one), and that WITH.
struct QueryPart {
  List<ReadingClause> reading_clauses;
  List<UpdatingClause> updating_clauses;
  WithClause with_clause;
};

struct MultiPartQuery {
  List<QueryPart> parts;  // one per WITH, never empty
  List<ReadingClause> reading_clauses;    // after the last WITH
  List<UpdatingClause> updating_clauses;  // after the last WITH
  Id<ReturnClause> return_clause;         // optional
};

struct SingleQuery {
  using SinglePart = SinglePartQuery;
  using MultiPart = MultiPartQuery;
  std::variant<SinglePart, MultiPart> variant;
};

struct UnionArm {
  bool all = false;  // UNION ALL
  SingleQuery query;
};

struct RegularQuery {
  SingleQuery single_query;
  List<UnionArm> unions;
};

struct ReadingClause {
  struct Match {
    bool optional;
    Pattern pattern;
    ExprId where_clause;  // optional
  };
  struct Unwind {
    ExprId expr;
    Str variable;
  };
  using InQueryCall = CallClause;
  using CallSubquery = RegularQuery;
  std::variant<Match, Unwind, InQueryCall, CallSubquery> variant;
};

// The body of EXISTS { ... }; the builder always makes Pattern.
struct ExistsSubquery {
  using Pattern = ast::Pattern;
  using Query = RegularQuery;
  std::variant<Pattern, Query> variant;
};

// A view of a List<T>: its elements as const T&, in order. Valid while the tree lives.
template <class T>
class ListView {
 public:
  class Iterator {
   public:
    Iterator(const std::byte* base, const std::uint32_t* at) : base_(base), at_(at) {}
    const T& operator*() const { return *std::launder(reinterpret_cast<const T*>(base_ + *at_)); }
    Iterator& operator++() {
      ++at_;
      return *this;
    }
    bool operator!=(const Iterator& other) const { return at_ != other.at_; }

   private:
    const std::byte* base_;
    const std::uint32_t* at_;
  };

  ListView(const std::byte* base, List<T> list)
      : base_(base),
        ids_(list.size == 0 ? nullptr
                            : std::launder(reinterpret_cast<const std::uint32_t*>(base + list.at))),
        size_(list.size) {}

  std::uint32_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  Id<T> id(std::uint32_t i) const {
    assert(i < size_);
    return Id<T>{ids_[i]};
  }
  const T& operator[](std::uint32_t i) const {
    assert(i < size_);
    return *std::launder(reinterpret_cast<const T*>(base_ + ids_[i]));
  }
  Iterator begin() const { return {base_, ids_}; }
  Iterator end() const { return {base_, ids_ + size_}; }

 private:
  const std::byte* base_;
  const std::uint32_t* ids_;
  std::uint32_t size_;
};

// A whole parsed query. Its root is Regular for every query built from text; StandaloneCall is
// never built but readers accept it.
class CypherQuery {
 public:
  using Regular = RegularQuery;
  using StandaloneCall = CallClause;
  using Root = std::variant<Regular, StandaloneCall>;

  const Root& root() const { return root_; }

  template <class T>
  const T& operator[](Id<T> id) const {
    assert(id.present() && id.at + sizeof(T) <= store_.size());
    return *std::launder(reinterpret_cast<const T*>(store_.data() + id.at));
  }
  template <class T>
  ListView<T> operator[](List<T> list) const {
    assert(list.size == 0 || list.at + 4ull * list.size <= store_.size());
    return ListView<T>(store_.data(), list);
  }
  std::string_view text(Str str) const {
    assert(str.size == 0 || str.at + std::size_t{str.size} <= store_.size());
    return {reinterpret_cast<const char*>(store_.data()) + str.at, str.size};
  }
  // Where `str` stands in the query the tree was built from: the bytes [begin, end) it was
  // copied from (a name as written, a string literal's text between its quotes, a parameter's
  // name after its "$"). Nothing for the empty Str{} that stands for an absent name.
  std::optional<Span> place(Str str) const {
    std::uint32_t begin;
    if (str.at < sizeof begin) return std::nullopt;
    std::memcpy(&begin, store_.data() + str.at - sizeof begin, sizeof begin);
    return Span{begin, begin + str.size};
  }

 private:
  friend class builder::Builder;

  // Leaves the bytes of a grown store unset: the builder writes every byte of what it places
  // there, and the rest (the unused tail, padding) is never read.
  template <class T>
  struct Unset : std::allocator<T> {
    template <class U>
    struct rebind {
      using other = Unset<U>;
    };
    Unset() = default;
    template <class U>
    Unset(const Unset<U>&) noexcept {}
    template <class U, class... Args>
    void construct(U* at, Args&&... args) {
      if constexpr (sizeof...(Args) == 0) {
        ::new (static_cast<void*>(at)) U;
      } else {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
      }
    }
  };

  // Each text is stored right after the 32-bit offset in the query it was copied from.
  std::vector<std::byte, Unset<std::byte>> store_;
  Root root_;
};

// ---- The children of an expression ----

// The place a child expression holds in its parent; the dump labels the child by it.
enum class ExprSlot : std::uint8_t {
  Direct,      // no label: a list item, a call argument, an operand, the expr of a property
               // access, subscript or slice, a subscript's index
  Key,         // a map value, under its key
  From,        // a slice's lower bound
  To,          // a slice's upper bound
  Operand,     // the operand of CASE
  When,        // WHEN of a CASE alternative; its THEN follows under the same label
  Then,        // THEN of a CASE alternative
  Else,        // ELSE of CASE
  Init,        // the initial value of REDUCE
  In,          // the list of a comprehension, quantifier or REDUCE
  Where,       // the WHERE of a comprehension or quantifier
  Projection,  // the part after "|" of a comprehension or REDUCE
};

// A present child expression and its slot; `key` is the map key in ExprSlot::Key, else empty.
struct ExprChild {
  ExprId expr;
  ExprSlot slot;
  Str key;
};

// A variable the expression binds. It is in scope in the children that follow it in the text,
// and only there: those for_each_child_reversed reports before it.
struct BoundVariable {
  Str name;
};

// A path inside an expression. `binds`: its variables are in scope in the children that follow
// it in the text (a pattern comprehension's), and only there; shortestPath binds none.
struct PathChild {
  Id<PatternElement> element;
  bool binds;
};

// Calls `visit` for each child of `expr`, last written first, so that a walker pushing each onto
// its stack pops them in written order: present child expressions as ExprChild, bound variables
// as BoundVariable (at the place they are bound), paths as PathChild, the body of EXISTS as
// Id<ExistsSubquery> and that of COUNT and COLLECT as Id<RegularQuery>. Absent optional parts
// are skipped. `visit` takes all five; an Overloaded of lambdas with a catch-all `[](auto) {}`
// ignores what a walker does not need. It does not recurse: the walker's own stack holds the
// children, so an expression's depth costs no frames. Always inlined: walkers call it once per
// node, and the call would cost more than the switch.
template <class Visit>
[[gnu::always_inline]] inline void for_each_child_reversed(const CypherQuery& query,
                                                           const Expr& expr, Visit&& visit) {
  auto child = [&](ExprId id, ExprSlot slot) {
    if (id.present()) visit(ExprChild{id, slot, {}});
  };
  auto direct = [&](List<Expr> list) {
    const ListView<Expr> items = query[list];
    for (std::uint32_t i = items.size(); i-- > 0;) child(items.id(i), ExprSlot::Direct);
  };
  switch (shape(expr.kind())) {
    case ExprShape::Integer:
    case ExprShape::Float:
    case ExprShape::String:
    case ExprShape::Boolean:
    case ExprShape::Empty:
    case ExprShape::Name:
      return;
    case ExprShape::List:
      direct(expr.list());
      return;
    case ExprShape::Map: {
      const ListView<MapEntry> entries = query[expr.map()];
      for (std::uint32_t i = entries.size(); i-- > 0;) {
        visit(ExprChild{entries[i].value, ExprSlot::Key, entries[i].key});
      }
      return;
    }
    case ExprShape::PropertyAccess:
      child(expr.property_access().expr, ExprSlot::Direct);
      return;
    case ExprShape::Subscript:
      child(expr.subscript().index, ExprSlot::Direct);
      child(expr.subscript().expr, ExprSlot::Direct);
      return;
    case ExprShape::Slice:
      child(expr.slice().to, ExprSlot::To);
      child(expr.slice().from, ExprSlot::From);
      child(expr.slice().expr, ExprSlot::Direct);
      return;
    case ExprShape::Binary:
      child(expr.binary().right, ExprSlot::Direct);
      child(expr.binary().left, ExprSlot::Direct);
      return;
    case ExprShape::Unary:
      child(expr.unary().expr, ExprSlot::Direct);
      return;
    case ExprShape::FunctionCall:
      direct(expr.function_call().args);
      return;
    case ExprShape::Case: {
      const CaseExpr& c = expr.case_expr();
      child(c.else_expr, ExprSlot::Else);
      const ListView<CaseAlternative> alternatives = query[c.alternatives];
      for (std::uint32_t i = alternatives.size(); i-- > 0;) {
        child(alternatives[i].then, ExprSlot::Then);
        child(alternatives[i].when, ExprSlot::When);
      }
      child(c.operand, ExprSlot::Operand);
      return;
    }
    case ExprShape::ListComprehension: {
      const ListComprehensionExpr& c = expr.list_comprehension();
      child(c.projection, ExprSlot::Projection);
      child(c.where_clause, ExprSlot::Where);
      visit(BoundVariable{c.variable});
      child(c.list, ExprSlot::In);
      return;
    }
    case ExprShape::Quantifier: {
      const QuantifierExpr& q = expr.quantifier();
      child(q.where_clause, ExprSlot::Where);
      visit(BoundVariable{q.variable});
      child(q.list, ExprSlot::In);
      return;
    }
    case ExprShape::Reduce: {
      const ReduceExpr& r = expr.reduce();
      child(r.projection, ExprSlot::Projection);
      visit(BoundVariable{r.variable});
      visit(BoundVariable{r.accumulator});
      child(r.list, ExprSlot::In);
      child(r.init, ExprSlot::Init);
      return;
    }
    case ExprShape::ShortestPath:
      visit(PathChild{expr.shortest_path().pattern, false});
      return;
    case ExprShape::PatternComprehension: {
      const PatternComprehensionExpr& c = expr.pattern_comprehension();
      child(c.projection, ExprSlot::Projection);
      child(c.where_clause, ExprSlot::Where);
      visit(PathChild{c.pattern, true});
      return;
    }
    case ExprShape::Exists:
      visit(expr.exists());
      return;
    case ExprShape::Subquery:
      visit(expr.subquery());
      return;
  }
}

// One visitor for for_each_child_reversed out of lambdas, one per kind of child.
template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

// The canonical dump of a tree: one line per node, "Kind fields", children indented by two
// spaces below it, down to a fixed depth (see ast_dump.cc for every node's line). kCompact
// renders the same nodes on one line as "Kind fields{child, child}". Both are linear in the
// size of the tree.
enum class DumpStyle : std::uint8_t { kLines, kCompact };
std::string dump(const CypherQuery& query, DumpStyle style);
std::string dump_expr(const CypherQuery& query, ExprId expr, DumpStyle style);

}  // namespace morvane::parser::ast
