// md-peer cmark|md4c FILE: converts FILE to HTML on standard output with cmark or md4c, as
// tovik-md does with ours, so the three can be timed as whole processes (read, convert, write).
#include <cmark.h>
#include <md4c-html.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool readFile(const char* name, std::string& text) {
    std::FILE* file = std::fopen(name, "rb");
    if (!file)
        return false;
    char buffer[1 << 16];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, n);
    std::fclose(file);
    return true;
}

void appendOutput(const MD_CHAR* text, MD_SIZE size, void* userdata) {
    static_cast<std::string*>(userdata)->append(text, size);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "cmark") != 0 && std::strcmp(argv[1], "md4c") != 0)) {
        std::fprintf(stderr, "usage: md-peer cmark|md4c FILE\n");
        return 2;
    }
    std::string text;
    if (!readFile(argv[2], text)) {
        std::fprintf(stderr, "md-peer: cannot read %s\n", argv[2]);
        return 1;
    }
    if (std::strcmp(argv[1], "cmark") == 0) {
        char* html = cmark_markdown_to_html(text.data(), text.size(), CMARK_OPT_DEFAULT);
        std::fwrite(html, 1, std::strlen(html), stdout);
        std::free(html);
    } else {
        std::string html;
        html.reserve(text.size() + text.size() / 4);
        md_html(text.data(), MD_SIZE(text.size()), appendOutput, &html, MD_DIALECT_GITHUB, 0);
        std::fwrite(html.data(), 1, html.size(), stdout);
    }
    return 0;
}
