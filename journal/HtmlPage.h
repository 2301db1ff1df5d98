// A self-contained HTML page for print: escaped text, tables, and SVG pictures inline, with a
// style sheet for A4. Nothing on the page refers to anything outside it (no script, no link,
// no font or image to fetch), so the file alone is the record. It is well-formed XML as well,
// so that an XML reader can check it.
#pragma once

#include <string>
#include <vector>

namespace pulsedesk::journal {

std::string HtmlEscape(const std::string& utf8);

// An SVG document as an element of an HTML page: without its XML prologue and namespace
// declarations (the HTML parser supplies them), scaled to the page's width by its viewBox.
std::string InlineSvg(const std::string& svgDocument);

class HtmlPage {
  public:
    explicit HtmlPage(const std::string& title);

    struct Column {
        std::string heading;
        bool number = false;  // right-aligned
    };
    using Row = std::vector<std::string>;

    void Heading(int level, const std::string& text);
    void Paragraph(const std::string& text, const std::string& cssClass = {});
    // Lines as written, one under the other.
    void Lines(const std::vector<std::string>& lines);
    void Table(const std::vector<Column>& columns, const std::vector<Row>& rows);
    // Pairs of name and value, as a two-column table.
    void Facts(const std::vector<std::pair<std::string, std::string>>& facts);
    // Named lines left blank, to be filled in by hand on the printed page (a signature).
    void BlankFields(const std::vector<std::string>& names);
    // A place for the next picture, never split across pages; Text fills the places in order.
    void Figure();
    // A block kept on one page where it fits (a record's heading with its figures).
    void OpenBlock();
    void CloseBlock();

    // The page, with the pictures' SVG documents in the order of their places.
    std::string Text(const std::vector<std::string>& svgDocuments = {}) const;

  private:
    std::vector<std::string> parts;  // text between the pictures' places
    std::string title;
};

}  // namespace pulsedesk::journal
