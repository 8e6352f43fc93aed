#pragma once
// The byte encodings of Internet mail: base64 (OpenSSL), quoted-printable, encoded header words,
// SMTP dot stuffing, and the random strings used as MIME boundaries and content IDs.

#include <string>
#include <string_view>

namespace sorvik {

// RFC 2045 base64. lineLength 0 gives one line; otherwise lines of that many characters are
// separated by CR LF (no CR LF after the last line).
std::string Base64Encode(std::string_view bytes, size_t lineLength = 0);

// Decodes base64, skipping blanks and line breaks. False (out empty) on any other bad character
// or a broken length.
bool Base64Decode(std::string_view text, std::string& out);

// Quoted-printable (RFC 2045): bytes other than 33-60, 62-126, CR, LF, TAB and blank become "="
// and two upper-case hex digits; a blank or TAB at the end of a line is encoded too, so that no
// decoder strips it. Lines longer than 76 characters get soft breaks "=\r\n" that never split an
// "=XX" triple.
std::string QuotedPrintableEncode(std::string_view bytes);

// Decodes quoted-printable: "=XX" becomes the byte, a soft break "=" + line end disappears, a
// stray "=" stays as it is.
std::string QuotedPrintableDecode(std::string_view text);

// A header value: unchanged when every byte is ASCII, else one encoded word "=?charset?q?...?="
// in which a blank is "_" and every byte above 0x7F, "=", "?" and "_" is "=XX".
// CR and LF are never passed into a header: they become blanks first.
std::string EncodeHeaderValue(std::string_view text, std::string_view charset);

// Every line end as CR LF: a LF without a CR before it and a CR without a LF after it become
// CR LF (SMTP allows no other line end; strict servers refuse a message with bare LF).
std::string CrLfLineEnds(std::string_view text);

// SMTP transparency: every "." at the start of a line (after LF, or at the very start) gets a
// second ".".
std::string DotStuff(std::string_view text);

// The reverse, for a received multi-line POP3 reply: the "." that starts a line is removed, so
// ".." at a line start becomes ".".
std::string DotUnstuff(std::string_view text);

// A fresh random GUID text, "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" in upper-case hex.
std::string NewGuidString();

}  // namespace sorvik
