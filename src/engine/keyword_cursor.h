#pragma once
// Where the current keyword of a run's keyword list lies, by the keyword cursor: the byte offset
// iSearchKeyIndexPre of the CR LF before the keyword and the offset iSearchKeyIndex from which the
// CR LF after it is searched. A cursor value below 1 means the first keyword: the first line, or
// when it is empty the first non-empty line. The text is the one the run controller selects for
// the same cursor; the engine also needs where the keyword ends, to move the cursor past it.

#include <string>
#include <string_view>

namespace sorvik {

struct KeywordPosition {
    std::string keyword;             // untrimmed; empty when there is none
    size_t end = std::string::npos;  // offset of the CR LF that ends it; npos when none follows
};

KeywordPosition LocateKeyword(std::string_view list, int searchKeyIndexPre, int searchKeyIndex);

}  // namespace sorvik
