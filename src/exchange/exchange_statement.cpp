#include "exchange/exchange_statement.h"

#include <algorithm>
#include <cctype>

#include "text/code_page.h"
#include "text/gb_text.h"
#include "text/strings.h"

namespace sorvik {

namespace {

constexpr char kSeparator = '\x01';
constexpr char kEscape = '\x1b';

bool IsNameByte(unsigned char c) {
    return std::isalnum(c) || c == '_' || c == '$' || c >= 0x80;
}

struct Token {
    enum class Kind { kWord, kNumber, kString, kQuotedName, kPunct };
    Kind kind = Kind::kPunct;
    std::string raw;    // as written
    std::string value;  // strings: decoded; quoted names: without the quotes; words: as written
};

bool Tokenize(std::string_view sql, std::vector<Token>& tokens, std::string& error) {
    size_t i = 0;
    while (i < sql.size()) {
        const auto c = static_cast<unsigned char>(sql[i]);
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++i;
            continue;
        }
        const size_t start = i;
        Token token;
        if (c == '\'') {
            token.kind = Token::Kind::kString;
            ++i;
            bool closed = false;
            while (i < sql.size()) {
                const char b = sql[i];
                if (b == '\'') {
                    if (i + 1 < sql.size() && sql[i + 1] == '\'') {
                        token.value += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                if (b == kEscape && i + 1 < sql.size() && (sql[i + 1] == 'a' || sql[i + 1] == kEscape)) {
                    token.value += sql[i + 1] == 'a' ? kSeparator : kEscape;
                    i += 2;
                    continue;
                }
                token.value += b;
                ++i;
            }
            if (!closed) {
                error = "引号不配对";
                return false;
            }
        } else if (c == '[' || c == '"' || c == '`') {
            token.kind = Token::Kind::kQuotedName;
            const char close = c == '[' ? ']' : static_cast<char>(c);
            ++i;
            bool closed = false;
            while (i < sql.size()) {
                if (sql[i] == close) {
                    closed = true;
                    ++i;
                    break;
                }
                const auto b = static_cast<unsigned char>(sql[i]);
                const size_t n = GbValidCharLength(sql, i);
                if (b < 0x20 || n == 0)
                    break;
                token.value.append(sql.substr(i, n));
                i += n;
            }
            if (!closed || token.value.empty()) {
                error = "名称的括号或引号不配对";
                return false;
            }
        } else if (std::isdigit(c)) {
            token.kind = Token::Kind::kNumber;
            while (i < sql.size() && std::isdigit(static_cast<unsigned char>(sql[i])))
                ++i;
            if (i + 1 < sql.size() && sql[i] == '.' && std::isdigit(static_cast<unsigned char>(sql[i + 1]))) {
                ++i;
                while (i < sql.size() && std::isdigit(static_cast<unsigned char>(sql[i])))
                    ++i;
            }
            if (i < sql.size() && IsNameByte(static_cast<unsigned char>(sql[i]))) {
                error = "数字的写法不对";
                return false;
            }
        } else if (IsNameByte(c)) {
            token.kind = Token::Kind::kWord;
            while (i < sql.size() && IsNameByte(static_cast<unsigned char>(sql[i]))) {
                const size_t n = GbValidCharLength(sql, i);
                if (n == 0) {
                    error = "名称中有无效的字符";
                    return false;
                }
                i += n;
            }
        } else if (c == ';') {
            error = "不允许分号（一条语句里有多条语句）";
            return false;
        } else if ((c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') ||
                   (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*')) {
            error = "不允许注释";
            return false;
        } else if (c < 0x20 || c == 0x7F) {
            error = "语句中有控制字符";
            return false;
        } else {
            token.kind = Token::Kind::kPunct;
            ++i;
        }
        token.raw.assign(sql.substr(start, i - start));
        if (token.kind == Token::Kind::kWord || token.kind == Token::Kind::kNumber ||
            token.kind == Token::Kind::kPunct) {
            token.value = token.raw;
        }
        // A name the database would read differently (a character the conversion turns into
        // "?") is refused, so that the statement it sees is the one checked here.
        if ((token.kind == Token::Kind::kWord || token.kind == Token::Kind::kQuotedName) &&
            std::count(token.raw.begin(), token.raw.end(), '?') != [&] {
                const std::string converted = GbToUtf8(token.raw);
                return std::count(converted.begin(), converted.end(), '?');
            }()) {
            error = "名称中有无效的字符";
            return false;
        }
        tokens.push_back(std::move(token));
    }
    return true;
}

// A cursor over the tokens of one statement.
class Parser {
  public:
    explicit Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

    bool AtEnd() const { return pos_ >= tokens_.size(); }
    const Token* Peek() const { return AtEnd() ? nullptr : &tokens_[pos_]; }

    bool TakeWord(std::string_view word) {
        const Token* t = Peek();
        if (!t || t->kind != Token::Kind::kWord || !EqualsNoCase(t->value, word))
            return false;
        ++pos_;
        return true;
    }
    bool TakePunct(char c) {
        const Token* t = Peek();
        if (!t || t->kind != Token::Kind::kPunct || t->value.size() != 1 || t->value[0] != c)
            return false;
        ++pos_;
        return true;
    }
    // A name: a word or a quoted name.
    bool TakeName(std::string& raw, std::string& bare) {
        const Token* t = Peek();
        if (!t || (t->kind != Token::Kind::kWord && t->kind != Token::Kind::kQuotedName))
            return false;
        raw = t->raw;
        bare = t->value;
        ++pos_;
        return true;
    }
    bool TakeValue(SqlValue& value) {
        const Token* t = Peek();
        if (!t)
            return false;
        bool negative = false;
        if (t->kind == Token::Kind::kPunct && (t->value == "-" || t->value == "+")) {
            negative = t->value == "-";
            if (pos_ + 1 >= tokens_.size() || tokens_[pos_ + 1].kind != Token::Kind::kNumber)
                return false;
            ++pos_;
            t = Peek();
        }
        if (t->kind == Token::Kind::kNumber) {
            value = {SqlValue::Type::kNumber, (negative ? "-" : "") + t->value};
        } else if (t->kind == Token::Kind::kString) {
            value = SqlValue::Text(t->value);
        } else if (t->kind == Token::Kind::kWord && EqualsNoCase(t->value, "null")) {
            value = SqlValue::Null();
        } else {
            return false;
        }
        ++pos_;
        return true;
    }
    void Skip() {
        if (!AtEnd())
            ++pos_;
    }

  private:
    std::vector<Token> tokens_;
    size_t pos_ = 0;
};

// Tables a file never writes: ID counters, settings, schedules, templates, keyword history.
bool IsProtectedTable(std::string_view name) {
    static const char* const kProtected[] = {"Task_ID", "TreeItems_ID",   "Set", "PlanTask", "ShowModule",
                                             "TaskMod", "sc_tm_SearchKey"};
    for (const char* protectedName : kProtected) {
        if (EqualsNoCase(name, protectedName))
            return true;
    }
    return ToLowerAscii(name).rfind("sqlite_", 0) == 0;
}

// Tables and words an upgrade statement never names.
bool IsForbiddenInUpgrade(const Token& t) {
    if (t.kind != Token::Kind::kWord && t.kind != Token::Kind::kQuotedName)
        return false;
    static const char* const kForbidden[] = {"drop",    "attach",         "detach",  "pragma",       "vacuum",
                                             "reindex", "load_extension", "Task_ID", "TreeItems_ID", "Set"};
    for (const char* word : kForbidden) {
        if (EqualsNoCase(t.value, word))
            return true;
    }
    return ToLowerAscii(t.value).rfind("sqlite_", 0) == 0;
}

// The tables whose rows an upgrade may change: result tables, TaskMod and ShowModule.
bool IsUpgradeDataTable(std::string_view name) {
    if (EqualsNoCase(name, "TaskMod") || EqualsNoCase(name, "ShowModule"))
        return true;
    static const char* const kSystem[] = {"Task", "TreeItems", "PlanTask", "sc_tm_SearchKey"};
    for (const char* system : kSystem) {
        if (EqualsNoCase(name, system))
            return false;
    }
    return !IsProtectedTable(name);
}

bool ParseInsert(Parser& p, ExchangeStatement& s, std::string& error, bool upgrade) {
    s.kind = ExchangeStatement::Kind::kInsert;
    if (!p.TakeWord("into") || !p.TakeName(s.table, s.tableName)) {
        error = "插入语句的写法不对";
        return false;
    }
    if (upgrade ? !IsUpgradeDataTable(s.tableName) : IsProtectedTable(s.tableName)) {
        error = Format("不允许写入系统表%s", s.tableName.c_str());
        return false;
    }
    if (!p.TakePunct('(')) {
        error = "插入语句缺少列名表";
        return false;
    }
    do {
        std::string raw, bare;
        if (!p.TakeName(raw, bare)) {
            error = "列名的写法不对";
            return false;
        }
        s.columns.push_back(raw);
        s.columnNames.push_back(bare);
    } while (p.TakePunct(','));
    if (!p.TakePunct(')') || !p.TakeWord("values") || !p.TakePunct('(')) {
        error = "插入语句的写法不对";
        return false;
    }
    do {
        SqlValue value;
        if (!p.TakeValue(value)) {
            error = "值只能是文本、数字或null";
            return false;
        }
        s.values.push_back(std::move(value));
    } while (p.TakePunct(','));
    if (!p.TakePunct(')') || !p.AtEnd()) {
        error = "插入语句的写法不对";
        return false;
    }
    if (s.columns.size() != s.values.size()) {
        error = "列数与值的个数不符";
        return false;
    }
    return true;
}

bool ParseUpdate(Parser& p, ExchangeStatement& s, std::string& error) {
    s.kind = ExchangeStatement::Kind::kUpdate;
    if (!p.TakeName(s.table, s.tableName) || !p.TakeWord("set")) {
        error = "更新语句的写法不对";
        return false;
    }
    const bool categories = EqualsNoCase(s.tableName, "TreeItems");
    if (!categories && !EqualsNoCase(s.tableName, "Task")) {
        error = Format("只允许更新类别表和任务表，不允许更新%s", s.tableName.c_str());
        return false;
    }
    do {
        std::string raw, bare;
        SqlValue value;
        if (!p.TakeName(raw, bare) || !p.TakePunct('=') || !p.TakeValue(value)) {
            error = "更新语句的赋值写法不对";
            return false;
        }
        s.columns.push_back(raw);
        s.columnNames.push_back(bare);
        s.values.push_back(std::move(value));
    } while (p.TakePunct(','));
    std::string raw, bare;
    SqlValue germ;
    if (!p.TakeWord("where") || !p.TakeName(raw, bare) || !EqualsNoCase(bare, "cGerm") || !p.TakePunct('=') ||
        !p.TakeValue(germ) || germ.type != SqlValue::Type::kText || germ.text.empty()) {
        error = "更新语句只能按种子号(cGerm)定位记录";
        return false;
    }
    s.germ = germ.text;
    if (p.TakeWord("and")) {
        if (!p.TakeName(raw, bare) || !EqualsNoCase(bare, "cGerm") || !p.TakeWord("is") ||
            !p.TakeWord("not") || !p.TakeWord("null")) {
            error = "更新语句只能按种子号(cGerm)定位记录";
            return false;
        }
        s.germNotNull = true;
    }
    if (!p.AtEnd()) {
        error = "更新语句的写法不对";
        return false;
    }
    return true;
}

// Upgrade: "update T set ..." and "delete from T ..." on a data table, "alter table T add ...".
// The rest of the statement runs as written; its tokens were checked by the caller.
bool ParseUpgradeStatement(Parser& p, std::string_view verb, std::string_view text, ExchangeStatement& s,
                           std::string& error) {
    s.kind = ExchangeStatement::Kind::kUpgrade;
    const bool alter = EqualsNoCase(verb, "alter");
    if ((alter && !p.TakeWord("table")) || (EqualsNoCase(verb, "delete") && !p.TakeWord("from")) ||
        !p.TakeName(s.table, s.tableName)) {
        error = "升级语句的写法不对";
        return false;
    }
    if (alter) {
        if (!p.TakeWord("add") || p.AtEnd()) {
            error = "升级包只允许给表加列(alter table ... add column)";
            return false;
        }
    } else if (!IsUpgradeDataTable(s.tableName)) {
        error = Format("升级包不允许改动系统表%s", s.tableName.c_str());
        return false;
    } else if (EqualsNoCase(verb, "update") && !p.TakeWord("set")) {
        error = "更新语句的写法不对";
        return false;
    }
    s.createText = Trim(text);
    return true;
}

// The column types the result-table writer declares, in the Jet words it writes and the SQLite
// words the database keeps them under.
bool IsWriterType(std::string_view word) {
    static const char* const kTypes[] = {"varchar", "char",     "text",     "memo",  "int",
                                         "integer", "long",     "datetime", "date",  "bit",
                                         "money",   "decimal",  "numeric",  "image", "blob",
                                         "tinyint", "smallint", "real",     "float", "double"};
    for (const char* type : kTypes) {
        if (EqualsNoCase(word, type))
            return true;
    }
    return false;
}

bool IsDigits(const Token* t) {
    return t && t->kind == Token::Kind::kNumber && t->value.find('.') == std::string::npos;
}

// The auto-numbered key, as the writer declares it or as the database keeps it:
// "[IDENTITY|INTEGER|INT|COUNTER] [CONSTRAINT name] [PRIMARY KEY] [AUTOINCREMENT]".
bool TakeKeyDefinition(Parser& p) {
    bool typed =
        p.TakeWord("identity") || p.TakeWord("integer") || p.TakeWord("int") || p.TakeWord("counter");
    if (p.TakeWord("constraint")) {
        std::string raw, bare;
        if (!p.TakeName(raw, bare))
            return false;
    }
    if (p.TakeWord("primary") && !p.TakeWord("key"))
        return false;
    p.TakeWord("autoincrement");
    return typed;
}

// A column definition: a name, a type the writer uses and its size ("(n)" or "(p,s)"), nothing
// more; the ID_ column may be the primary key. Appends the definition as it is to be run.
bool TakeColumnDefinition(Parser& p, ExchangeStatement& s, std::string& definition, std::string& error) {
    std::string raw, bare;
    if (!p.TakeName(raw, bare)) {
        error = "建表语句的列名写法不对";
        return false;
    }
    s.columns.push_back(raw);
    s.columnNames.push_back(bare);
    if (EqualsNoCase(bare, "ID_")) {
        if (!TakeKeyDefinition(p)) {
            error = "建表语句中ID_只能是自动编号的主键";
            return false;
        }
        definition += raw + " INTEGER PRIMARY KEY AUTOINCREMENT";
    } else if (const Token* type = p.Peek(); type && type->kind == Token::Kind::kWord) {
        definition += raw;
        if (!IsWriterType(type->value)) {
            error = Format("建表语句中只允许列名和字段类型，不允许“%s”", type->value.c_str());
            return false;
        }
        definition += " " + type->value;
        p.Skip();
        if (p.TakePunct('(')) {
            if (!IsDigits(p.Peek())) {
                error = "建表语句中字段长度的写法不对";
                return false;
            }
            definition += "(" + p.Peek()->value;
            p.Skip();
            if (p.TakePunct(',')) {
                if (!IsDigits(p.Peek())) {
                    error = "建表语句中字段长度的写法不对";
                    return false;
                }
                definition += "," + p.Peek()->value;
                p.Skip();
            }
            if (!p.TakePunct(')')) {
                error = "建表语句中字段长度的写法不对";
                return false;
            }
            definition += ")";
        }
    } else {
        definition += raw;
    }
    const Token* next = p.Peek();
    if (next && !(next->kind == Token::Kind::kPunct && (next->value == "," || next->value == ")"))) {
        error = Format("建表语句中只允许列名和字段类型，不允许“%s”", next->raw.c_str());
        return false;
    }
    return true;
}

// Only a plain table: columns with the writer's types, the ID_ key, nothing computed, no
// defaults, checks or copies of other tables (any of them can make the database grow without end).
bool ParseCreateTable(Parser& p, ExchangeStatement& s, std::string& error) {
    s.kind = ExchangeStatement::Kind::kCreateTable;
    if (!p.TakeWord("table") || !p.TakeName(s.table, s.tableName) || !p.TakePunct('(')) {
        error = "建表语句的写法不对";
        return false;
    }
    if (IsProtectedTable(s.tableName)) {
        error = Format("不允许建系统表%s", s.tableName.c_str());
        return false;
    }
    std::string definitions;
    do {
        if (!definitions.empty())
            definitions += ",";
        if (!TakeColumnDefinition(p, s, definitions, error))
            return false;
    } while (p.TakePunct(','));
    if (!p.TakePunct(')') || !p.AtEnd()) {
        error = "建表语句的括号不配对";
        return false;
    }
    s.createText = "create table " + s.table + " (" + definitions + ")";
    return true;
}

}  // namespace

std::string EscapeExchangeText(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (const char c : text) {
        if (c == '\'') {
            out += "''";
        } else if (c == kSeparator) {
            out += kEscape;
            out += 'a';
        } else if (c == kEscape) {
            out += kEscape;
            out += kEscape;
        } else {
            out += c;
        }
    }
    return out;
}

SqlValue SqlValue::Number(long long value) {
    return {Type::kNumber, std::to_string(value)};
}

long long SqlValue::AsInt() const {
    return type == Type::kNull ? 0 : ParseLeadingInt(text);
}

int ExchangeStatement::ColumnIndex(std::string_view name) const {
    for (size_t i = 0; i < columnNames.size(); ++i) {
        if (EqualsNoCase(columnNames[i], name))
            return static_cast<int>(i);
    }
    return -1;
}

void ExchangeStatement::RemoveColumn(size_t index) {
    if (index >= columns.size())
        return;
    columns.erase(columns.begin() + static_cast<long>(index));
    columnNames.erase(columnNames.begin() + static_cast<long>(index));
    values.erase(values.begin() + static_cast<long>(index));
}

namespace {

std::string RenderValue(const SqlValue& value) {
    switch (value.type) {
        case SqlValue::Type::kNull:
            return "null";
        case SqlValue::Type::kNumber:
            return value.text;
        case SqlValue::Type::kText:
            return "'" + SqlQuote(value.text) + "'";
    }
    return "null";
}

}  // namespace

std::string ExchangeStatement::Render() const {
    switch (kind) {
        case Kind::kCreateTable:
        case Kind::kUpgrade:
            return createText;
        case Kind::kInsert: {
            std::vector<std::string> rendered;
            for (const SqlValue& value : values)
                rendered.push_back(RenderValue(value));
            return "insert into " + table + " (" + Join(columns, ",") + ") values (" + Join(rendered, ",") +
                   ")";
        }
        case Kind::kUpdate: {
            std::vector<std::string> assignments;
            for (size_t i = 0; i < columns.size(); ++i)
                assignments.push_back(columns[i] + "=" + RenderValue(values[i]));
            std::string sql = "update " + table + " set " + Join(assignments, ",") + " where cGerm='" +
                              SqlQuote(germ) + "'";
            if (germNotNull)
                sql += " and cGerm is not null";
            return sql;
        }
    }
    return {};
}

bool ParseExchangeStatement(std::string_view text, ExchangeStatement& statement, std::string& error,
                            bool upgrade) {
    statement = ExchangeStatement();
    std::vector<Token> tokens;
    if (!Tokenize(text, tokens, error))
        return false;
    if (upgrade) {
        for (size_t i = 0; i < tokens.size(); ++i) {
            const Token& t = tokens[i];
            // "set" is a name only outside "update T set".
            const bool updateSet = i == 2 && t.kind == Token::Kind::kWord &&
                                   EqualsNoCase(tokens[0].value, "update") && EqualsNoCase(t.value, "set");
            if (!updateSet && IsForbiddenInUpgrade(t)) {
                error = Format("升级包不允许%s", t.value.c_str());
                return false;
            }
        }
    }
    Parser parser(std::move(tokens));
    if (parser.TakeWord("insert"))
        return ParseInsert(parser, statement, error, upgrade);
    if (parser.TakeWord("create"))
        return ParseCreateTable(parser, statement, error);
    if (upgrade) {
        for (const char* verb : {"update", "delete", "alter"}) {
            if (parser.TakeWord(verb))
                return ParseUpgradeStatement(parser, verb, text, statement, error);
        }
        error = "升级包只允许插入、更新、删除、建表和加列语句";
        return false;
    }
    if (parser.TakeWord("update"))
        return ParseUpdate(parser, statement, error);
    error = "只允许插入(insert into)、更新(update)和建表(create table)语句";
    return false;
}

}  // namespace sorvik
