#pragma once
// SmtpBodyPart: one node of a message's MIME tree. A part owns its children; each child keeps a
// plain pointer to its enclosing part, whose boundary separates it from its siblings.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sorvik {

class SmtpBodyPart {
  public:
    SmtpBodyPart();  // with a fresh boundary
    SmtpBodyPart(const SmtpBodyPart&) = delete;
    SmtpBodyPart& operator=(const SmtpBodyPart&) = delete;

    bool base64 = false;   // the content is sent base64-encoded
    std::string fileName;  // the file the content came from (attachments, inline images)
    std::string title;     // display name of an attachment (raw; encoded when written)
    std::string contentType = "text/plain";
    std::string charset = "iso-8859-1";
    std::string contentBase;
    std::string contentId;
    std::string contentLocation;
    std::string text;             // the content: text, or the bytes of a file
    std::string boundary;         // separates this part's children
    bool quotedPrintable = true;  // a text content is sent quoted-printable

    // Appends a child and returns it; the child's parent becomes this part.
    SmtpBodyPart* AddChild(std::unique_ptr<SmtpBodyPart> child);
    const std::vector<std::unique_ptr<SmtpBodyPart>>& Children() const { return children_; }
    SmtpBodyPart* Parent() const { return parent_; }
    // Removes every child.
    void ClearChildren() { children_.clear(); }

    // Depth-first search for the first part (this one included) of the content type.
    SmtpBodyPart* FindByType(std::string_view type);

    // The part's own MIME header (every line of it and the empty line that ends it), as it is
    // written below its parent. headerCharset encodes a non-ASCII title.
    std::string WriteHeader(std::string_view headerCharset) const;
    // The content as it travels: base64 in 76-character lines, quoted-printable, or unchanged.
    std::string WriteContent() const;
    // Header (unless root), content, the children and, when there are children, the closing
    // boundary line.
    void WriteTree(std::string& out, std::string_view headerCharset, bool root) const;

  private:
    std::vector<std::unique_ptr<SmtpBodyPart>> children_;
    SmtpBodyPart* parent_ = nullptr;
};

}  // namespace sorvik
