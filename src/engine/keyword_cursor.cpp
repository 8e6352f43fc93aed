#include "engine/keyword_cursor.h"

#include "engine/url_list.h"

namespace sorvik {

KeywordPosition LocateKeyword(std::string_view list, int searchKeyIndexPre, int searchKeyIndex) {
    KeywordPosition position;
    if (searchKeyIndexPre < 1 || searchKeyIndex < 1) {
        size_t start = 0;
        while (true) {
            const size_t end = list.find("\r\n", start);
            position.keyword =
                std::string(list.substr(start, end == std::string_view::npos ? end : end - start));
            position.end = end;
            if (!position.keyword.empty() || end == std::string_view::npos)
                return position;
            start = end + 2;
        }
    }
    const size_t from = static_cast<size_t>(searchKeyIndex);
    if (from > list.size())
        return position;
    const size_t end = list.find("\r\n", from);
    if (end == std::string_view::npos)
        return position;
    position.end = end;
    // The text is the run controller's selection for the same cursor.
    position.keyword = SelectCurrentKeyword(list, searchKeyIndexPre, searchKeyIndex);
    return position;
}

}  // namespace sorvik
