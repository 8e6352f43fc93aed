#include "mail/mail_body.h"

#include "text/file_helpers.h"
#include "text/strings.h"

namespace sorvik {

namespace {

// The ">" that ends a marker lies within this many characters of the marker's start.
constexpr size_t kMarkerReach = 49;
constexpr std::string_view kInlineMarker = "<%@@@";

}  // namespace

std::string PlainTextToHtml(std::string_view text) {
    std::string out(text);
    ReplaceAll(out, " ", "&nbsp;");
    ReplaceAll(out, "\r\n", "<BR>");
    return out;
}

std::string ApplyMailTemplate(std::string_view templateHtml, std::string_view content,
                              std::string_view senderName) {
    if (templateHtml.empty()) {
        return std::string(content);
    }
    std::string body(templateHtml);
    ReplaceAll(body, "<%@@发送者%>", senderName);
    ReplaceAll(body, "<%@@邮件内容%>", content);
    return body;
}

std::string PersonaliseBody(std::string_view body, const FieldLookup& lookup) {
    std::string out;
    size_t pos = 0;
    while (pos < body.size()) {
        size_t start = body.find("<%@", pos);
        if (start == std::string_view::npos) {
            break;
        }
        size_t nameStart = start + 3;
        size_t close = body.find("%>", nameStart);
        bool usable = close != std::string_view::npos && close + 1 - start <= kMarkerReach &&
                      nameStart < body.size() && body[nameStart] != '@';
        if (!usable) {
            out.append(body, pos, nameStart - pos);
            pos = nameStart;
            continue;
        }
        std::string name(body.substr(nameStart, close - nameStart));
        std::optional<std::string> value = lookup(name);
        out.append(body, pos, start - pos);
        if (value) {
            std::string safe = *value;
            ReplaceAll(safe, "<%@", "&lt;%@");
            out += safe;
        } else {
            out.append(body, start, close + 2 - start);
        }
        pos = close + 2;
    }
    out.append(body, pos < body.size() ? pos : body.size(), std::string_view::npos);
    return out;
}

std::string ReplaceInlineImageMarkers(std::string_view body, std::string_view imageFolder,
                                      const std::function<std::string(const std::string& path)>& replace) {
    std::string out;
    size_t pos = 0;
    while (true) {
        size_t start = body.find(kInlineMarker, pos);
        if (start == std::string_view::npos) {
            break;
        }
        size_t pathStart = start + kInlineMarker.size();
        size_t close = body.find('>', pathStart);
        if (close == std::string_view::npos || close - start > kMarkerReach) {
            break;
        }
        const std::string_view written = body.substr(pathStart, close - pathStart);
        std::string file = FileSystemPath(written);
        if (!file.empty() && file.front() != '/' && file.find(':') == std::string::npos) {
            file = JoinPath(imageFolder, file);
        }
        out.append(body, pos, start - pos);
        out += replace(file);
        pos = close + 1;
    }
    out.append(body, pos, std::string_view::npos);
    return out;
}

}  // namespace sorvik
