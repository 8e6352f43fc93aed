# An independent MIME parser for the mail tests: one line per part with its defects, decoded file
# name and decoded content in hex, then the decoded subject.
import email
import email.policy
import email.header
import sys


def decoded_filename(part):
    # An encoded word in the name ("=?gb18030?q?...?=") read as mail programs read it.
    name = part.get_filename()
    if not name:
        return name
    return str(email.header.make_header(email.header.decode_header(name)))


def main():
    with open(sys.argv[1], "rb") as f:
        raw = f.read()
    msg = email.message_from_bytes(raw, policy=email.policy.compat32)
    lines = []
    for part in msg.walk():
        defects = ",".join(type(d).__name__ for d in part.defects) or "-"
        if part.is_multipart():
            content = "children=%d" % len(part.get_payload())
        else:
            content = (part.get_payload(decode=True) or b"").hex() or "-"
        lines.append("\t".join([
            "part",
            part.get_content_type(),
            defects,
            part.get("Content-ID") or "-",
            decoded_filename(part) or "-",
            part.get_content_charset() or "-",
            content,
        ]))
    decoded_subject = ""
    for text, charset in email.header.decode_header(msg.get("Subject") or ""):
        if isinstance(text, bytes):
            decoded_subject += text.decode(charset or "ascii")
        else:
            decoded_subject += text
    lines.append("subject\t" + (decoded_subject.encode("utf-8").hex() or "-"))
    sys.stdout.buffer.write(("\n".join(lines) + "\n").encode("utf-8"))


if __name__ == "__main__":
    main()
