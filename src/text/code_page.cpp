#include "text/code_page.h"

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

#include "text/strings.h"

namespace sorvik {

namespace {

// Owns one iconv descriptor.
class IconvHandle {
  public:
    IconvHandle(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~IconvHandle() {
        if (valid())
            iconv_close(handle_);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;

    bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return handle_; }

  private:
    iconv_t handle_;
};

// Converts with iconv, replacing each invalid or incomplete input byte, and each character the
// target cannot hold, by "?". Returns false when the pair of charsets is unknown.
bool ConvertWithIconv(std::string_view text, const char* to, const char* from, std::string& out) {
    IconvHandle cd(to, from);
    if (!cd.valid())
        return false;
    out.clear();
    out.reserve(text.size() * 3 / 2 + 16);
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    char buffer[4096];
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof(buffer);
        const size_t rc = iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, outPtr - buffer);
        if (rc != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG)
            continue;
        // EILSEQ (invalid or unrepresentable) or EINVAL (cut short at the end): one "?" for the
        // byte, then go on with the next one.
        out += '?';
        ++in;
        --inLeft;
        iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
    }
    return true;
}

std::string Convert(std::string_view text, const char* to, const char* from) {
    if (IsAscii(text))
        return std::string(text);
    std::string out;
    if (!ConvertWithIconv(text, to, from, out))
        return std::string(text);
    return out;
}

}  // namespace

std::string translateCharToUTF_8(std::string_view gb) {
    return Convert(gb, "UTF-8", "GB18030");
}

std::string TranslateUTF_8ToGB(std::string_view utf8) {
    return Convert(utf8, "GB18030", "UTF-8");
}

std::string ConvertToGb(std::string_view text, std::string_view charset, bool* known) {
    if (known)
        *known = true;
    std::string name = ToLowerAscii(charset);
    name.erase(std::remove_if(name.begin(), name.end(),
                              [](unsigned char c) { return std::isspace(c) || c == '"' || c == '\''; }),
               name.end());
    if (name.empty() || name == "gb2312" || name == "gbk" || name == "gb18030" || name == "cp936" ||
        name == "x-gbk" || name == "euc-cn") {
        return std::string(text);
    }
    if (name == "utf-8" || name == "utf8")
        return TranslateUTF_8ToGB(text);
    std::string out;
    if (!ConvertWithIconv(text, "GB18030", name.c_str(), out)) {
        if (known)
            *known = false;
        return std::string(text);
    }
    return out;
}

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool IsValidUtf8(std::string_view text) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        unsigned int cp;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + len > n)
            return false;
        for (size_t k = 1; k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += len;
    }
    return true;
}

std::string ExternalTextToGb(std::string_view text) {
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF")
        return TranslateUTF_8ToGB(text.substr(3));
    if (IsValidUtf8(text))
        return TranslateUTF_8ToGB(text);
    return std::string(text);
}

}  // namespace sorvik
