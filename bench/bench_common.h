// Shared page and address generators for the benchmarks.
#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace benchdata {

inline const char* const kWords[] = {"the", "search", "results", "for", "contact", "page", "home", "news", "about",
                                     "della", "pagina", "servizi", "informazioni", "prodotti", "azienda", "email",
                                     "Corvina", "download", "free", "software", "privacy", "policy", "copyright"};

inline std::string word(std::mt19937& rng) { return kWords[rng() % (sizeof kWords / sizeof kWords[0])]; }

// A plausible address: name.surname@domain.tld.
inline std::string address(std::mt19937& rng)
{
    static const char* const tlds[] = {"it", "com", "org", "net", "de", "co.uk"};
    std::string a = word(rng) + "." + word(rng) + std::to_string(rng() % 1000) + "@" + word(rng) + "-" +
                    std::to_string(rng() % 100) + "." + tlds[rng() % 6];
    return a;
}

// Page text of about the given size in the shape of ordinary web pages:
// markup, navigation, paragraphs, scripts, with a contact address every few
// kilobytes (mailto links and plain text), and an "@" now and then in
// other roles (CSS at-rules, social handles).
inline std::string webPages(size_t bytes, uint32_t seed = 1)
{
    std::mt19937 rng(seed);
    std::string out;
    out.reserve(bytes + 4096);
    while (out.size() < bytes) {
        out += "<!DOCTYPE html>\n<html><head><title>";
        out += word(rng) + " " + word(rng);
        out += "</title>\n<style>@media screen { body { font-family: Arial; margin: 0 } }</style>\n"
               "<script>var q = document.location.search; if (q.length > 0) { track('page', q); }</script>\n"
               "</head><body>\n<div class=\"nav\"><ul>";
        for (int i = 0; i < 8; ++i)
            out += "<li><a href=\"/" + word(rng) + ".html\">" + word(rng) + "</a></li>";
        out += "</ul></div>\n";
        const int paragraphs = 6 + static_cast<int>(rng() % 10);
        for (int p = 0; p < paragraphs; ++p) {
            out += "<p class=\"text\">";
            const int words = 40 + static_cast<int>(rng() % 80);
            for (int w = 0; w < words; ++w) {
                out += word(rng);
                out += (w % 13 == 12) ? ". " : " ";
            }
            if (rng() % 4 == 0)
                out += "Follow us @" + word(rng) + " on the web. ";
            out += "</p>\n";
        }
        const std::string a = address(rng);
        out += "<p>Contact: <a href=\"mailto:" + a + "\">" + a + "</a> - tel. 055 123456</p>\n";
        out += "<div class=\"footer\">&copy; 2003 " + word(rng) + " &middot; <a href=\"/privacy.html\">privacy</a></div>\n"
               "</body></html>\n";
    }
    return out;
}

} // namespace benchdata
