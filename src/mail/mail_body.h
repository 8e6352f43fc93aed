#pragma once
// The text of a mass mail: plain content made HTML, the template around it, and the
// personalisation markers "<%@name%>" filled from each recipient's own record.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace sorvik {

// Plain content as HTML the way the send-mail dialog does it: blanks become "&nbsp;" and CR LF
// "<BR>".
std::string PlainTextToHtml(std::string_view text);

// The body of a mail: with a template, the template with "<%@@发送者%>" replaced by the sender's
// name and "<%@@邮件内容%>" by the content; without one, the content alone.
std::string ApplyMailTemplate(std::string_view templateHtml, std::string_view content,
                              std::string_view senderName);

// Looks up the value of a field for the current recipient; no value leaves the marker as written.
using FieldLookup = std::function<std::optional<std::string>(const std::string& name)>;

// Replaces every marker "<%@" name "%>" (name not starting with "@", closing ">" within 49
// characters of the marker's start) by the looked-up value. A value never brings an inline-image
// marker "<%@@@" into the body: a recipient's record must not make the mail carry local files.
std::string PersonaliseBody(std::string_view body, const FieldLookup& lookup);

// Replaces every inline-image marker "<%@@@path>" by what replace returns for its file: the
// file-system path (UTF-8) of the path as written (GB18030), completed from imageFolder (a
// file-system path) when relative. The ">" must close the marker within 49
// characters of its start; an unclosed marker ends the scan, and the markers after it stay as
// written. Used for sending (a "cid:" reference) and for the preview (the file itself) alike.
std::string ReplaceInlineImageMarkers(std::string_view body, std::string_view imageFolder,
                                      const std::function<std::string(const std::string& file)>& replace);

}  // namespace sorvik
