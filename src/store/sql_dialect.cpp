#include "store/sql_dialect.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <vector>

#include "text/code_page.h"
#include "text/strings.h"

namespace sorvik {

namespace {

// ---------------------------------------------------------------------------------------------
// Tokens
// ---------------------------------------------------------------------------------------------

enum class Kind {
    Word,       // keyword, name or number (letters, digits, _ $ # @ and every non-ASCII byte)
    Quoted,     // 'text' or "text" (doubled quotes inside) or `name`: never touched
    Bracketed,  // [name]: never touched
    Space,
    Open,
    Close,
    Comma,
    Semicolon,
    Other,  // any other single ASCII byte: operators, '.', '*', ...
};

// One token of the statement. `text` is the original byte range; what is written back is
// `out` (initially the same bytes, emptied when the token is dropped, replaced when it is
// rewritten) followed by `append`. Decisions always look at `text`, so passes do not disturb
// each other.
struct Token {
    Kind kind = Kind::Other;
    std::string_view text;
    int depth = 0;  // parentheses open before the token; an Open and its Close share one depth
    std::string out;
    std::string append;
};

using Tokens = std::vector<Token>;

// "No such token" for searches that may find nothing.
constexpr size_t kNone = static_cast<size_t>(-1);

bool IsWordByte(unsigned char c) {
    return std::isalnum(c) || c == '_' || c == '$' || c == '#' || c == '@';
}

bool IsSpaceByte(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

// Splits the statement into tokens. A byte >= 0x80 is part of a name; in GB18030 text
// (pairHighBytes) it takes the next byte with it, since a GB18030 trail byte may be an ASCII
// character such as ']' or '[' that must not be read as punctuation. Returns nothing when a
// quote or bracket is left open or the parentheses do not balance: such a statement is passed
// through untouched and the database reports the error.
std::optional<Tokens> Tokenize(std::string_view sql, bool pairHighBytes) {
    Tokens tokens;
    int depth = 0;
    size_t i = 0;
    // Advances over one character of a name or bracketed name and returns the new position.
    auto step = [&](size_t at) {
        const auto c = static_cast<unsigned char>(sql[at]);
        return (c >= 0x80 && pairHighBytes && at + 1 < sql.size()) ? at + 2 : at + 1;
    };
    while (i < sql.size()) {
        const auto c = static_cast<unsigned char>(sql[i]);
        const size_t start = i;
        Token token;
        if (IsSpaceByte(c)) {
            token.kind = Kind::Space;
            while (i < sql.size() && IsSpaceByte(static_cast<unsigned char>(sql[i])))
                ++i;
        } else if (c == '\'' || c == '"' || c == '`') {
            token.kind = Kind::Quoted;
            ++i;
            for (;;) {
                if (i >= sql.size())
                    return std::nullopt;  // unterminated literal
                if (static_cast<unsigned char>(sql[i]) == c) {
                    if (i + 1 < sql.size() && static_cast<unsigned char>(sql[i + 1]) == c) {
                        i += 2;  // doubled quote inside the literal
                        continue;
                    }
                    ++i;
                    break;
                }
                ++i;  // quotes never occur as GB18030 trail bytes, so bytes can be taken singly
            }
        } else if (c == '[') {
            token.kind = Kind::Bracketed;
            ++i;
            while (i < sql.size() && sql[i] != ']')
                i = step(i);
            if (i >= sql.size())
                return std::nullopt;  // unterminated name
            ++i;
        } else if (c >= 0x80 || IsWordByte(c)) {
            token.kind = Kind::Word;
            while (i < sql.size() && (static_cast<unsigned char>(sql[i]) >= 0x80 ||
                                      IsWordByte(static_cast<unsigned char>(sql[i])))) {
                i = step(i);
            }
        } else {
            token.kind = c == '('   ? Kind::Open
                         : c == ')' ? Kind::Close
                         : c == ',' ? Kind::Comma
                         : c == ';' ? Kind::Semicolon
                                    : Kind::Other;
            ++i;
        }
        i = std::min(i, sql.size());
        token.text = sql.substr(start, i - start);
        token.out = std::string(token.text);
        if (token.kind == Kind::Close) {
            if (depth == 0)
                return std::nullopt;  // a parenthesis closed that was never opened
            --depth;
        }
        token.depth = depth;
        if (token.kind == Kind::Open)
            ++depth;
        tokens.push_back(std::move(token));
    }
    if (depth != 0)
        return std::nullopt;
    return tokens;
}

bool IsWord(const Tokens& tokens, size_t i, std::string_view word) {
    return i < tokens.size() && tokens[i].kind == Kind::Word && EqualsNoCase(tokens[i].text, word);
}

bool IsNumber(const Tokens& tokens, size_t i) {
    return i < tokens.size() && tokens[i].kind == Kind::Word &&
           std::all_of(tokens[i].text.begin(), tokens[i].text.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

// Index of the first token after i that is not white space; tokens.size() when none.
size_t NextSignificant(const Tokens& tokens, size_t i) {
    size_t j = i + 1;
    while (j < tokens.size() && tokens[j].kind == Kind::Space)
        ++j;
    return j;
}

// Index of the first significant token; tokens.size() when the statement is blank.
size_t FirstSignificant(const Tokens& tokens) {
    size_t j = 0;
    while (j < tokens.size() && tokens[j].kind == Kind::Space)
        ++j;
    return j;
}

// The Close that pairs with the Open at index open; kNone when there is none.
size_t MatchingClose(const Tokens& tokens, size_t open) {
    for (size_t j = open + 1; j < tokens.size(); ++j) {
        if (tokens[j].kind == Kind::Close && tokens[j].depth == tokens[open].depth)
            return j;
    }
    return kNone;
}

// Drops tokens [from, to] and the white space that follows them.
void Drop(Tokens& tokens, size_t from, size_t to) {
    for (size_t j = from; j <= to && j < tokens.size(); ++j)
        tokens[j].out.clear();
    for (size_t j = to + 1; j < tokens.size() && tokens[j].kind == Kind::Space; ++j)
        tokens[j].out.clear();
}

// ---------------------------------------------------------------------------------------------
// select [distinct] top N ...  ->  select [distinct] ... LIMIT N
// ---------------------------------------------------------------------------------------------

// Where the select starting at index select ends: the Close of the parenthesis around it, a
// ';', a union/except/intersect at its own level, or the end of the statement.
size_t SelectEnd(const Tokens& tokens, size_t select) {
    const int depth = tokens[select].depth;
    for (size_t j = select + 1; j < tokens.size(); ++j) {
        const Token& t = tokens[j];
        if (t.kind == Kind::Semicolon || (t.kind == Kind::Close && t.depth < depth))
            return j;
        if (t.depth == depth &&
            (IsWord(tokens, j, "union") || IsWord(tokens, j, "except") || IsWord(tokens, j, "intersect"))) {
            return j;
        }
    }
    return tokens.size();
}

void RewriteTop(Tokens& tokens) {
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (!IsWord(tokens, i, "select"))
            continue;
        size_t top = NextSignificant(tokens, i);
        if (IsWord(tokens, top, "distinct") || IsWord(tokens, top, "all"))
            top = NextSignificant(tokens, top);
        if (!IsWord(tokens, top, "top"))
            continue;
        const size_t count = NextSignificant(tokens, top);
        // "top 10 percent" has no SQLite form; the statement goes on untranslated and fails.
        if (!IsNumber(tokens, count) || IsWord(tokens, NextSignificant(tokens, count), "percent"))
            continue;
        Drop(tokens, top, count);

        const size_t end = SelectEnd(tokens, i);
        size_t last = i;  // the limit follows the select's last token that is still written
        for (size_t j = i + 1; j < end; ++j) {
            if (tokens[j].kind != Kind::Space && !tokens[j].out.empty())
                last = j;
        }
        const std::string limit = " LIMIT " + std::string(tokens[count].text);
        if (IsWord(tokens, end, "union") || IsWord(tokens, end, "except") ||
            IsWord(tokens, end, "intersect")) {
            // SQLite allows a limit only at the end of a compound select: the first member's
            // rows are limited inside a derived table of their own.
            tokens[i].out = "SELECT * FROM (" + tokens[i].out;
            tokens[last].append += limit + ")";
        } else {
            tokens[last].append += limit;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// select ... into T from ...  ->  CREATE TABLE T AS SELECT ... from ...
// ---------------------------------------------------------------------------------------------

void RewriteSelectInto(Tokens& tokens) {
    const size_t select = FirstSignificant(tokens);
    if (!IsWord(tokens, select, "select"))
        return;
    size_t into = kNone;
    for (size_t j = select + 1; j < tokens.size() && tokens[j].kind != Kind::Semicolon; ++j) {
        if (tokens[j].depth != 0)
            continue;
        if (IsWord(tokens, j, "from"))
            break;
        if (IsWord(tokens, j, "into")) {
            into = j;
            break;
        }
    }
    if (into == kNone)
        return;
    // The new table's name: words, bracketed parts and dots up to the next white space.
    const size_t nameStart = NextSignificant(tokens, into);
    size_t nameEnd = nameStart;
    std::string name;
    while (nameEnd < tokens.size() &&
           (tokens[nameEnd].kind == Kind::Word || tokens[nameEnd].kind == Kind::Bracketed ||
            (tokens[nameEnd].kind == Kind::Other && tokens[nameEnd].text == "."))) {
        name += tokens[nameEnd].text;
        ++nameEnd;
    }
    if (name.empty() || IsWord(tokens, nameStart, "from"))
        return;
    tokens[select].out = "CREATE TABLE " + name + " AS " + tokens[select].out;
    Drop(tokens, into, nameEnd - 1);
}

// ---------------------------------------------------------------------------------------------
// Column types of create table and alter table ... add [column]
// ---------------------------------------------------------------------------------------------

struct TypeName {
    std::string_view jet;
    std::string_view sqlite;
};

// SQLite decides a column's affinity from its declared type. Texts must keep TEXT affinity
// ("00123" stays "00123"), dates too (they are written and compared as "%Y-%m-%d %H:%M:%S"
// text), numbers get a numeric affinity so that they sort and compare as numbers.
constexpr TypeName kTypeNames[] = {
    {"text", "TEXT"},        {"memo", "TEXT"},       {"varchar", "TEXT"},    {"char", "TEXT"},
    {"nvarchar", "TEXT"},    {"nchar", "TEXT"},      {"character", "TEXT"},  {"string", "TEXT"},
    {"longtext", "TEXT"},    {"longchar", "TEXT"},   {"note", "TEXT"},       {"ntext", "TEXT"},
    {"guid", "TEXT"},        {"datetime", "TEXT"},   {"date", "TEXT"},       {"time", "TEXT"},
    {"timestamp", "TEXT"},   {"long", "INTEGER"},    {"int", "INTEGER"},     {"integer", "INTEGER"},
    {"smallint", "INTEGER"}, {"short", "INTEGER"},   {"tinyint", "INTEGER"}, {"byte", "INTEGER"},
    {"bit", "INTEGER"},      {"yesno", "INTEGER"},   {"logical", "INTEGER"}, {"money", "NUMERIC"},
    {"currency", "NUMERIC"}, {"decimal", "NUMERIC"}, {"numeric", "NUMERIC"}, {"real", "REAL"},
    {"single", "REAL"},      {"float", "REAL"},      {"double", "REAL"},     {"image", "BLOB"},
    {"oleobject", "BLOB"},   {"binary", "BLOB"},     {"longbinary", "BLOB"},
};

std::optional<std::string_view> SqliteTypeFor(std::string_view jetType) {
    for (const TypeName& type : kTypeNames) {
        if (EqualsNoCase(type.jet, jetType))
            return type.sqlite;
    }
    return std::nullopt;
}

bool IsAutoNumberType(std::string_view word) {
    return EqualsNoCase(word, "identity") || EqualsNoCase(word, "counter") ||
           EqualsNoCase(word, "autoincrement");
}

// Rewrites the type word at index type of a column definition that ends before index end.
void RewriteColumnType(Tokens& tokens, size_t type, size_t end) {
    if (type >= end || tokens[type].kind != Kind::Word)
        return;
    const bool autoNumber = IsAutoNumberType(tokens[type].text);
    const std::optional<std::string_view> mapped = SqliteTypeFor(tokens[type].text);
    if (!autoNumber && !mapped)
        return;  // unknown words stay as written
    // A size or seed in parentheses belongs to the Jet type: varchar(50), decimal(10,2), identity(1,1).
    const size_t open = NextSignificant(tokens, type);
    if (open < end && tokens[open].kind == Kind::Open) {
        const size_t close = MatchingClose(tokens, open);
        if (close != kNone && close < end) {
            for (size_t j = type + 1; j <= close; ++j)
                tokens[j].out.clear();
        }
    }
    if (!autoNumber) {
        tokens[type].out = std::string(*mapped);
        return;
    }
    // An auto-number must be an INTEGER PRIMARY KEY AUTOINCREMENT to keep counting after its
    // rows are deleted; an own PRIMARY KEY clause (with its constraint name) is kept.
    tokens[type].out = "INTEGER";
    for (size_t j = type + 1; j < end; ++j) {
        if (IsWord(tokens, j, "autoincrement"))
            return;
    }
    for (size_t j = type + 1; j < end; ++j) {
        if (!IsWord(tokens, j, "primary"))
            continue;
        size_t key = NextSignificant(tokens, j);
        if (!IsWord(tokens, key, "key"))
            continue;
        const size_t order = NextSignificant(tokens, key);
        if (IsWord(tokens, order, "asc") || IsWord(tokens, order, "desc"))
            key = order;
        tokens[key].append += " AUTOINCREMENT";
        return;
    }
    tokens[type].out = "INTEGER PRIMARY KEY AUTOINCREMENT";
}

// Words that open a table constraint rather than a column definition.
bool IsTableConstraint(const Tokens& tokens, size_t i) {
    return IsWord(tokens, i, "constraint") || IsWord(tokens, i, "primary") || IsWord(tokens, i, "unique") ||
           IsWord(tokens, i, "check") || IsWord(tokens, i, "foreign");
}

// Index of the next significant token after a table or column name that starts at index name:
// a name may be several words, brackets and dots without white space (dbo.[T]).
size_t AfterName(const Tokens& tokens, size_t name) {
    size_t j = name;
    while (j < tokens.size() &&
           (tokens[j].kind == Kind::Word || tokens[j].kind == Kind::Bracketed ||
            tokens[j].kind == Kind::Quoted || (tokens[j].kind == Kind::Other && tokens[j].text == "."))) {
        ++j;
    }
    if (j < tokens.size() && tokens[j].kind == Kind::Space)
        j = NextSignificant(tokens, j);
    return j;
}

void RewriteCreateTable(Tokens& tokens, size_t table) {
    size_t name = NextSignificant(tokens, table);
    if (IsWord(tokens, name, "if")) {  // if not exists
        name = NextSignificant(tokens, NextSignificant(tokens, NextSignificant(tokens, name)));
    }
    const size_t open = AfterName(tokens, name);
    if (open >= tokens.size() || tokens[open].kind != Kind::Open)
        return;  // e.g. create table ... as select
    const size_t close = MatchingClose(tokens, open);
    if (close == kNone)
        return;
    size_t itemStart = open + 1;
    for (size_t j = open + 1; j <= close; ++j) {
        const bool itemEnds =
            j == close || (tokens[j].kind == Kind::Comma && tokens[j].depth == tokens[open].depth + 1);
        if (!itemEnds)
            continue;
        size_t name = itemStart;
        if (name < j && tokens[name].kind == Kind::Space)
            name = NextSignificant(tokens, name);
        if (name < j && !IsTableConstraint(tokens, name))
            RewriteColumnType(tokens, AfterName(tokens, name), j);
        itemStart = j + 1;
    }
}

void RewriteAlterTable(Tokens& tokens, size_t table) {
    const size_t add = AfterName(tokens, NextSignificant(tokens, table));
    if (!IsWord(tokens, add, "add"))
        return;
    size_t name = NextSignificant(tokens, add);
    if (IsWord(tokens, name, "column"))
        name = NextSignificant(tokens, name);
    if (name >= tokens.size() || IsTableConstraint(tokens, name))
        return;
    size_t end = tokens.size();
    for (size_t j = name; j < tokens.size(); ++j) {
        if (tokens[j].kind == Kind::Semicolon) {
            end = j;
            break;
        }
    }
    RewriteColumnType(tokens, AfterName(tokens, name), end);
}

void RewriteColumnTypes(Tokens& tokens) {
    const size_t verb = FirstSignificant(tokens);
    const size_t table = NextSignificant(tokens, verb);
    if (!IsWord(tokens, table, "table"))
        return;
    if (IsWord(tokens, verb, "create"))
        RewriteCreateTable(tokens, table);
    if (IsWord(tokens, verb, "alter"))
        RewriteAlterTable(tokens, table);
}

// Only selects (top N, select ... into) and create/alter table statements are ever rewritten. A
// statement that names neither "select" nor "table" outside its quoted literals passes through
// as it is, without being tokenized: the inserts of a harvest, whose literals hold most of the
// bytes, are the bulk of all statements. The scan skips '...' and "..." literals as Tokenize
// does (a quote is never a GB18030 trail byte); a bracket or backtick, which may hide a quote
// or be a trail byte, and a literal left open send the statement the full way.
bool MayNeedRewrite(std::string_view sql) {
    std::string outside;
    for (size_t i = 0; i < sql.size();) {
        const char c = sql[i];
        if (c == '[' || c == '`')
            return true;
        if (c == '\'' || c == '"') {
            const size_t close = sql.find(c, i + 1);
            if (close == std::string_view::npos)
                return true;
            i = close + 1;  // a doubled quote closes and reopens the literal: same bytes skipped
            outside += ' ';
            continue;
        }
        outside += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        ++i;
    }
    return outside.find("select") != std::string::npos || outside.find("table") != std::string::npos;
}

}  // namespace

std::string TranslateJetSql(std::string_view jetSql) {
    if (!MayNeedRewrite(jetSql))
        return std::string(jetSql);
    // The store hands over UTF-8; text that is not valid UTF-8 is taken as GB18030.
    std::optional<Tokens> tokens = Tokenize(jetSql, !IsValidUtf8(jetSql));
    if (!tokens)
        return std::string(jetSql);
    RewriteTop(*tokens);
    RewriteSelectInto(*tokens);
    RewriteColumnTypes(*tokens);
    std::string sql;
    sql.reserve(jetSql.size() + 32);
    for (const Token& token : *tokens) {
        sql += token.out;
        sql += token.append;
    }
    return sql;
}

}  // namespace sorvik
