#include "journal/HtmlPage.h"

#include <regex>

#include "config/Cp1251.h"

namespace pulsedesk::journal {
namespace {

// A4 with 15 mm margins leaves 180 mm of text width, the width the charts are drawn for.
const char kStyle[] = R"(
@page { size: A4; margin: 14mm 15mm 15mm 15mm; }
html { font-family: "DejaVu Sans", sans-serif; font-size: 8.5pt; color: #222; }
body { margin: 0; }
@media screen { body { max-width: 180mm; margin: 10mm auto; } }
h1 { font-size: 15pt; margin: 0 0 2mm 0; }
h2 { font-size: 12pt; margin: 7mm 0 2mm 0; padding-bottom: 0.8mm; border-bottom: 0.3mm solid #888; }
h3 { font-size: 10pt; margin: 5mm 0 1.5mm 0; }
h1, h2, h3 { break-after: avoid; page-break-after: avoid; }
p { margin: 1mm 0; }
.note { color: #555; }
.bad { color: #b1261e; font-weight: bold; }
.lines { white-space: pre-wrap; margin: 1mm 0 2mm 0; }
figure { margin: 2mm 0 4mm 0; break-inside: avoid; page-break-inside: avoid; }
figure svg { display: block; width: 100%; height: auto; }
.block { break-inside: avoid; page-break-inside: avoid; }
table { border-collapse: collapse; width: 100%; margin: 1mm 0 3mm 0; }
thead { display: table-header-group; }
tr { break-inside: avoid; page-break-inside: avoid; }
th { text-align: left; font-weight: bold; border-bottom: 0.3mm solid #666; padding: 0.6mm 1.5mm; }
td { border-bottom: 0.15mm solid #d0d0d0; padding: 0.5mm 1.5mm; vertical-align: top; }
.num { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
table.facts { width: auto; }
table.facts td:first-child { color: #555; padding-right: 4mm; }
table.blank { width: 120mm; break-inside: avoid; page-break-inside: avoid; }
table.blank td { height: 9mm; vertical-align: bottom; border-bottom: 0.3mm solid #444; }
table.blank td:first-child { width: 35mm; color: #555; border-bottom: none; }
)";

// text as a CSS string: quotes, backslashes and "<" (which could end the style element)
// escaped.
std::string CssString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '<')
            out += "\\3C ";
        else if (c == '\n' || c == '\r')
            out += ' ';
        else
            out += c;
    }
    return out + "\"";
}

const char kFoot[] = "font: 7pt \"DejaVu Sans\", sans-serif; color: #666;";

}  // namespace

std::string HtmlEscape(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (char c : config::VisibleText(utf8)) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string InlineSvg(const std::string& svgDocument) {
    const std::size_t start = svgDocument.find("<svg");
    const std::size_t close = svgDocument.find('>', start);
    if (start == std::string::npos || close == std::string::npos) return {};
    const std::string root = svgDocument.substr(start, close - start);
    std::smatch viewBox;
    std::regex_search(root, viewBox, std::regex(R"re(viewBox="[^"]*")re"));
    return "<svg " + viewBox.str() + " role=\"img\"" + svgDocument.substr(close);
}

HtmlPage::HtmlPage(const std::string& title) : parts(1), title(title) {}

void HtmlPage::Heading(int level, const std::string& text) {
    const std::string tag = "h" + std::to_string(level);
    parts.back() += "<" + tag + ">" + HtmlEscape(text) + "</" + tag + ">\n";
}

void HtmlPage::Paragraph(const std::string& text, const std::string& cssClass) {
    parts.back() +=
        (cssClass.empty() ? "<p>" : "<p class=\"" + cssClass + "\">") + HtmlEscape(text) + "</p>\n";
}

void HtmlPage::Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + HtmlEscape(line);
    parts.back() += "<div class=\"lines\">" + text + "</div>\n";
}

void HtmlPage::Table(const std::vector<Column>& columns, const std::vector<Row>& rows) {
    const auto cell = [&columns](const char* tag, std::size_t i, const std::string& text) {
        const bool number = i < columns.size() && columns[i].number;
        return std::string("<") + tag + (number ? " class=\"num\">" : ">") + HtmlEscape(text) +
               "</" + tag + ">";
    };
    parts.back() += "<table>\n<thead><tr>";
    for (std::size_t i = 0; i < columns.size(); ++i)
        parts.back() += cell("th", i, columns[i].heading);
    parts.back() += "</tr></thead>\n<tbody>\n";
    for (const Row& row : rows) {
        parts.back() += "<tr>";
        for (std::size_t i = 0; i < row.size(); ++i) parts.back() += cell("td", i, row[i]);
        parts.back() += "</tr>\n";
    }
    parts.back() += "</tbody>\n</table>\n";
}

void HtmlPage::Facts(const std::vector<std::pair<std::string, std::string>>& facts) {
    parts.back() += "<table class=\"facts\">\n";
    for (const auto& [name, value] : facts)
        parts.back() +=
            "<tr><td>" + HtmlEscape(name) + "</td><td>" + HtmlEscape(value) + "</td></tr>\n";
    parts.back() += "</table>\n";
}

void HtmlPage::BlankFields(const std::vector<std::string>& names) {
    parts.back() += "<table class=\"blank\">\n";
    for (const std::string& name : names)
        parts.back() += "<tr><td>" + HtmlEscape(name) + "</td><td></td></tr>\n";
    parts.back() += "</table>\n";
}

void HtmlPage::Figure() { parts.emplace_back(); }

void HtmlPage::OpenBlock() { parts.back() += "<div class=\"block\">\n"; }
void HtmlPage::CloseBlock() { parts.back() += "</div>\n"; }

std::string HtmlPage::Text(const std::vector<std::string>& svgDocuments) const {
    std::string body = parts[0];
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const std::string svg = i - 1 < svgDocuments.size() ? InlineSvg(svgDocuments[i - 1]) : "";
        body += "<figure>" + svg + "</figure>\n" + parts[i];
    }
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\" />\n<title>" +
           HtmlEscape(title) + "</title>\n<style>" + kStyle +
           // The title and page numbers at the foot of every printed page.
           "@page { @bottom-left { content: " + CssString(title) + "; " + kFoot +
           " } @bottom-right { content: \"page \" counter(page) \" of \" counter(pages); " + kFoot +
           " } }\n</style>\n</head>\n<body>\n" + body + "</body>\n</html>\n";
}

}  // namespace pulsedesk::journal
