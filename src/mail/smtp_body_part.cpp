#include "mail/smtp_body_part.h"

#include "mail/mime_encoding.h"
#include "text/strings.h"

namespace sorvik {

namespace {

// A parameter value goes out bare when it is a MIME token, quoted otherwise.
std::string ParameterValue(std::string_view value) {
    static const std::string_view kSpecials = "()<>@,;:\\\"/[]?= \t";
    bool token = !value.empty();
    for (unsigned char c : value) {
        if (c < 0x21 || c > 0x7E || kSpecials.find(static_cast<char>(c)) != std::string_view::npos) {
            token = false;
            break;
        }
    }
    if (token) {
        return std::string(value);
    }
    std::string quoted = "\"";
    for (char c : value) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::string BaseName(std::string_view path) {
    size_t slash = path.find_last_of("/\\");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// A header value taken from a field of the part never carries a line break into the header.
std::string OneLine(std::string_view value) {
    std::string out(value);
    for (char& c : out) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return out;
}

}  // namespace

SmtpBodyPart::SmtpBodyPart() : boundary(NewGuidString()) {}

SmtpBodyPart* SmtpBodyPart::AddChild(std::unique_ptr<SmtpBodyPart> child) {
    child->parent_ = this;
    children_.push_back(std::move(child));
    return children_.back().get();
}

SmtpBodyPart* SmtpBodyPart::FindByType(std::string_view type) {
    if (EqualsNoCase(contentType, type)) {
        return this;
    }
    for (auto& child : children_) {
        if (SmtpBodyPart* found = child->FindByType(type)) {
            return found;
        }
    }
    return nullptr;
}

std::string SmtpBodyPart::WriteHeader(std::string_view headerCharset) const {
    const std::string parentBoundary = parent_ ? parent_->boundary : boundary;
    const std::string type = OneLine(contentType);
    const std::string cs = OneLine(charset);
    const bool hasChildren = !children_.empty();
    std::string name;
    if (!fileName.empty()) {
        name = ParameterValue(EncodeHeaderValue(title.empty() ? BaseName(fileName) : title, headerCharset));
    }

    std::string header;
    if (!base64 && fileName.empty()) {
        if (!hasChildren) {
            header = Format("\r\n--%s\r\nContent-Type: %s; charset=%s\r\n", parentBoundary.c_str(),
                            type.c_str(), cs.c_str());
        } else {
            header = Format("\r\n--%s\r\nContent-Type: %s; charset=%s; Boundary=\"%s\"\r\n",
                            parentBoundary.c_str(), type.c_str(), cs.c_str(), boundary.c_str());
        }
        if (quotedPrintable) {
            header += "Content-Transfer-Encoding: quoted-printable\r\n";
        }
    } else if (fileName.empty()) {
        if (!hasChildren) {
            header = Format("\r\n\r\n--%s\r\nContent-Type: %s\r\nContent-Transfer-Encoding: base64\r\n",
                            parentBoundary.c_str(), type.c_str());
        } else {
            header = Format("\r\n\r\n--%s\r\nContent-Type: %s;\r\n\tboundary=\"%s\"\r\n",
                            parentBoundary.c_str(), type.c_str(), boundary.c_str());
        }
    } else if (base64) {
        if (!hasChildren) {
            header =
                Format("\r\n\r\n--%s\r\nContent-Type: %s; name=%s\r\nContent-Transfer-Encoding: base64\r\n",
                       parentBoundary.c_str(), type.c_str(), name.c_str());
        } else {
            header = Format("\r\n\r\n--%s\r\nContent-Type: %s; name=%s;\r\n\tboundary=\"%s\"\r\n",
                            parentBoundary.c_str(), type.c_str(), name.c_str(), boundary.c_str());
        }
    } else {
        header = Format(
            "\r\n\r\n--%s\r\nContent-Type: %s; charset=%s; name=%s\r\nContent-Transfer-Encoding: "
            "base64\r\nContent-Disposition: attachment; filename=%s\r\n",
            parentBoundary.c_str(), type.c_str(), cs.c_str(), name.c_str(), name.c_str());
    }
    if (!contentBase.empty()) {
        header += "Content-Base: " + OneLine(contentBase) + "\r\n";
    }
    if (!contentId.empty()) {
        header += "Content-ID: " + OneLine(contentId) + "\r\n";
    }
    if (!contentLocation.empty()) {
        header += "Content-Location: " + OneLine(contentLocation) + "\r\n";
    }
    header += "\r\n";
    return header;
}

std::string SmtpBodyPart::WriteContent() const {
    // A file part is labelled base64 in every header form, so its bytes are always encoded.
    if (base64 || !fileName.empty()) {
        return Base64Encode(text, 76);
    }
    return quotedPrintable ? QuotedPrintableEncode(text) : text;
}

void SmtpBodyPart::WriteTree(std::string& out, std::string_view headerCharset, bool root) const {
    if (!root) {
        out += WriteHeader(headerCharset);
    }
    out += WriteContent();
    for (const auto& child : children_) {
        child->WriteTree(out, headerCharset, false);
    }
    if (!children_.empty()) {
        out += "\r\n--" + boundary + "--";
    }
}

}  // namespace sorvik
