#include "mail/smtp_message.h"

#include "mail/mail_body.h"
#include "mail/mime_encoding.h"
#include "text/code_page.h"
#include "text/file_helpers.h"
#include "text/strings.h"

namespace sorvik {

namespace {

const char kMimePreamble[] = "This is a multi-part message in MIME format";

std::string StripLineBreaks(std::string_view value) {
    std::string out;
    for (char c : value) {
        if (c != '\r' && c != '\n') {
            out += c;
        }
    }
    return out;
}

std::string BaseName(std::string_view path) {
    size_t slash = path.find_last_of("/\\");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string ImageContentType(std::string_view fileName) {
    std::string ext = fileName.size() >= 3 ? ToLowerAscii(fileName.substr(fileName.size() - 3)) : "";
    if (ext == "gif") {
        return "image/gif";
    }
    if (ext == "jpg") {
        return "image/jpeg";
    }
    if (ext == "wav") {
        return "audio/x-wav";
    }
    return "image/png";
}

}  // namespace

std::string SmtpAddress::HeaderForm(std::string_view charset) const {
    std::string addr = StripLineBreaks(address);
    std::string display = Trim(StripLineBreaks(name));
    if (display.empty()) {
        return addr;
    }
    if (!IsAscii(display)) {
        display = EncodeHeaderValue(display, charset);
    } else if (display.find_first_of("()<>[]:;@\\,.\"") != std::string::npos) {
        std::string quoted = "\"";
        for (char c : display) {
            if (c == '"' || c == '\\') {
                quoted += '\\';
            }
            quoted += c;
        }
        display = quoted + "\"";
    }
    return Format("%s <%s>", display.c_str(), addr.c_str());
}

SmtpAddress ParseSmtpAddress(std::string_view item) {
    SmtpAddress result;
    std::string text = Trim(item);
    size_t open = text.rfind('<');
    size_t close = open == std::string::npos ? std::string::npos : text.find('>', open);
    if (open != std::string::npos && close != std::string::npos) {
        result.address = Trim(text.substr(open + 1, close - open - 1));
        std::string name = Trim(text.substr(0, open));
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
            name = name.substr(1, name.size() - 2);
        }
        result.name = name;
    } else {
        result.address = text;
    }
    return result;
}

std::vector<SmtpAddress> ParseSmtpAddressList(std::string_view list) {
    std::vector<SmtpAddress> out;
    std::string item;
    bool quoted = false;
    auto flush = [&] {
        SmtpAddress a = ParseSmtpAddress(item);
        if (!a.address.empty()) {
            out.push_back(std::move(a));
        }
        item.clear();
    };
    for (char c : list) {
        if (c == '"') {
            quoted = !quoted;
        }
        if (!quoted && (c == ',' || c == ';' || c == '\r' || c == '\n')) {
            flush();
        } else {
            item += c;
        }
    }
    flush();
    return out;
}

bool IsSendableAddress(std::string_view address) {
    if (address.empty()) {
        return false;
    }
    for (unsigned char c : address) {
        if (c <= 0x20 || c == 0x7F || c == '<' || c == '>') {
            return false;
        }
    }
    return true;
}

std::string FormatMailDate(std::time_t when) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm local{};
    localtime_r(&when, &local);
    long offsetMinutes = local.tm_gmtoff / 60;
    char sign = offsetMinutes < 0 ? '-' : '+';
    long magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    // Names come from fixed tables: the process-wide locale is never switched for this.
    return Format("%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld", kDays[local.tm_wday % 7], local.tm_mday,
                  kMonths[local.tm_mon % 12], local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec,
                  sign, magnitude / 60, magnitude % 60);
}

SmtpMessage::SmtpMessage() = default;

void SmtpMessage::SetMime(bool on) {
    mime = on;
    if (!on) {
        return;
    }
    if (!EqualsNoCase(root.contentType.substr(0, 10), "multipart/")) {
        std::string plain = root.text;
        root.contentType = "multipart/mixed";
        root.text = kMimePreamble;
        if (!plain.empty()) {
            auto part = std::make_unique<SmtpBodyPart>();
            part->contentType = "text/plain";
            part->charset = charset;
            part->text = plain;
            root.AddChild(std::move(part));
        }
    }
}

void SmtpMessage::AddTextBody(std::string_view text) {
    if (!mime) {
        root.text = std::string(text);
        return;
    }
    if (SmtpBodyPart* existing = root.FindByType("text/plain"); existing && existing != &root) {
        existing->text = std::string(text);
        return;
    }
    if (!EqualsNoCase(root.contentType.substr(0, 10), "multipart/")) {
        root.contentType = "multipart/mixed";
        root.text = kMimePreamble;
    }
    auto part = std::make_unique<SmtpBodyPart>();
    part->contentType = "text/plain";
    part->charset = charset;
    part->text = std::string(text);
    root.AddChild(std::move(part));
}

bool SmtpMessage::AddHtmlBody(std::string_view html, std::string_view imageFolder, std::string& warnings) {
    if (SmtpBodyPart* existing = root.FindByType("text/html")) {
        existing->text = std::string(html);
        return true;
    }
    // A part tree needs the MIME header lines, so an HTML body always switches MIME on.
    mime = true;
    root.text = kMimePreamble;
    root.contentType = "multipart/related";

    std::string body(html);
    if (body.find("<%@@@") == std::string::npos) {
        auto part = std::make_unique<SmtpBodyPart>();
        part->contentType = "text/html";
        part->charset = charset;
        part->contentBase = std::string(imageFolder);
        part->text = body;
        root.AddChild(std::move(part));
        return true;
    }

    auto related = std::make_unique<SmtpBodyPart>();
    related->base64 = true;
    related->contentType = "multipart/related";
    SmtpBodyPart* r = root.AddChild(std::move(related));
    auto alternative = std::make_unique<SmtpBodyPart>();
    alternative->base64 = true;
    alternative->contentType = "multipart/alternative";
    SmtpBodyPart* a = r->AddChild(std::move(alternative));

    bool allRead = true;
    body = ReplaceInlineImageMarkers(body, imageFolder, [&](const std::string& file) {
        const std::string path = Utf8ToGb(file);  // the system's text of the path
        std::string fileName = BaseName(path);
        // A header holds ASCII only: a Chinese file name does not go into the Content-ID.
        std::string contentId =
            (IsAscii(fileName) ? fileName : std::string("image")) + "@" + NewGuidString().substr(0, 16);
        auto image = std::make_unique<SmtpBodyPart>();
        image->base64 = true;
        image->fileName = path;
        image->title = fileName;
        image->contentType = ImageContentType(fileName);
        image->contentId = "<" + contentId + ">";
        if (ReadWholeFile(file, image->text)) {
            r->AddChild(std::move(image));
        } else {
            allRead = false;
            warnings += Format("文件读取错误！(%s)", path.c_str());
            warnings += "\r\n";
        }
        return "cid:" + contentId;
    });

    auto htmlPart = std::make_unique<SmtpBodyPart>();
    htmlPart->contentType = "text/html";
    htmlPart->charset = charset;
    htmlPart->text = body;
    a->AddChild(std::move(htmlPart));
    return allRead;
}

bool SmtpMessage::AddAttachment(const std::string& path, std::string& error) {
    auto part = std::make_unique<SmtpBodyPart>();
    if (!ReadWholeFile(FileSystemPath(path), part->text)) {
        error = Format("文件读取错误！(%s)", path.c_str());
        return false;
    }
    if (!mime) {
        SetMime(true);
    }
    part->base64 = true;
    part->fileName = path;
    part->title = BaseName(path);
    part->contentType = "application/octet-stream";
    root.AddChild(std::move(part));
    return true;
}

void SmtpMessage::AddRecipients(const std::vector<SmtpAddress>& list, int kind) {
    std::vector<SmtpAddress>& target = kind == 1 ? cc : kind == 2 ? bcc : to;
    target.insert(target.end(), list.begin(), list.end());
}

std::string SmtpMessage::BuildHeader(std::time_t when) const {
    std::string header;
    std::vector<std::string> toForms;
    for (const auto& a : to) {
        toForms.push_back(a.HeaderForm(charset));
    }
    header += "From: " + from.HeaderForm(charset) + "\r\nTo: " + Join(toForms, ",") + "\r\n";
    if (!cc.empty()) {
        std::vector<std::string> ccForms;
        for (const auto& a : cc) {
            ccForms.push_back(a.HeaderForm(charset));
        }
        header += "Cc: " + Join(ccForms, ",") + "\r\n";
    }
    header += "Subject: " + EncodeHeaderValue(subject, charset) + "\r\n";
    header += "Date: " + FormatMailDate(when) + "\r\n";
    header += "X-Mailer: " + StripLineBreaks(xMailer) + "\r\n";
    const bool multipart = !root.Children().empty();
    if (mime) {
        if (multipart) {
            header += Format("MIME-Version: 1.0\r\nContent-Type: %s; boundary=\"%s\"\r\n",
                             StripLineBreaks(root.contentType).c_str(), root.boundary.c_str());
        } else if (RootIsEmptyContainer()) {
            // A multipart type without parts would be malformed: an empty text stands in.
            header += Format("MIME-Version: 1.0\r\nContent-Type: text/plain; charset=%s\r\n",
                             StripLineBreaks(charset).c_str());
        } else {
            header += Format("MIME-Version: 1.0\r\nContent-Type: %s\r\n",
                             StripLineBreaks(root.contentType).c_str());
        }
    }
    // A multipart entity may only be labelled 7bit, 8bit or binary; its parts carry their own
    // encodings. A single body is quoted-printable, and is sent encoded so.
    if (!multipart) {
        header += "Content-Transfer-Encoding: quoted-printable\r\n";
    }
    if (replyTo) {
        header += "Reply-To: " + replyTo->HeaderForm(charset) + "\r\n";
    }
    header += "\r\n";
    return header;
}

std::string SmtpMessage::BuildBody() const {
    if (root.Children().empty()) {
        if (!mime) {
            return "\r\n" + QuotedPrintableEncode(root.text);
        }
        return RootIsEmptyContainer() ? std::string() : root.WriteContent();
    }
    std::string out;
    root.WriteTree(out, charset, true);
    return out;
}

std::string SmtpMessage::BuildData(std::time_t when) const {
    // Template and body texts may hold bare LF or CR; the wire takes CR LF only.
    return DotStuff(CrLfLineEnds(BuildHeader(when) + BuildBody())) + "\r\n.\r\n";
}

bool SmtpMessage::RootIsEmptyContainer() const {
    return root.Children().empty() && EqualsNoCase(root.contentType.substr(0, 10), "multipart/");
}

std::vector<std::string> SmtpMessage::EnvelopeRecipients() const {
    std::vector<std::string> out;
    for (const auto* list : {&to, &cc, &bcc}) {
        for (const auto& a : *list) {
            out.push_back(a.address);
        }
    }
    return out;
}

}  // namespace sorvik
