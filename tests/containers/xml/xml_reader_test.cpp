#include "containers/xml/xml_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "test_support.h"

using namespace convert;
using Node = XmlReader::Node;

namespace {

/// Wine's XmlLite passes over some faults, and reads some references wrong.
const bool kUnderWine = testing_support::under_wine();

/// The attributes trace() shows.
constexpr std::pair<std::string_view, std::string_view> kShown[] = {
    {"", "v"}, {"urn:x", "v"}, {"http://www.w3.org/XML/1998/namespace", "space"}};

/// The longest text node trace() has seen.
std::size_t longest_text = 0;

/// The nodes of `xml`, read from `block` bytes at a time, written back: a
/// start as <{namespace}name[attribute=value]...> with the attributes v,
/// {urn:x}v and xml:space it has, an end as </name>, text as it is. On an
/// error, "!" and the reason only.
std::string trace(std::string_view xml, std::size_t block) {
    MemorySource input(xml, block);
    std::string out;
    try {
        const auto reader = read_xml(input);
        for (Node node; (node = reader->next()) != Node::done;) {
            if (node == Node::text) {
                out += reader->text();
                longest_text = std::max(longest_text, reader->text().size());
                continue;
            }
            out += node == Node::start ? "<" : "</";
            if (!reader->ns().empty()) out.append("{").append(reader->ns()).append("}");
            out += reader->name();
            for (const auto& [ns, local] : kShown) {
                if (const auto value = reader->attribute(ns, local)) {
                    out.append("[").append(local).append("=").append(*value).append("]");
                }
            }
            out += ">";
        }
        EXPECT_EQ(reader->next(), Node::done);
    } catch (const XmlError& e) {
        out = std::string("!") + e.what();
    }
    return out.size() > 100 ? out.substr(0, 100) + "..." : out;
}

/// `xml` repeated `times` times.
std::string repeat(std::string_view xml, std::size_t times) {
    std::string out;
    while (times-- > 0) out += xml;
    return out;
}

TEST(XmlReader, ReadsNodesOrSaysWhyNot) {
    const std::string long_value(kMaxXmlMarkup + 1, 'x');
    // Elements nested one less deep than may be, from line 3 on.
    const std::string deep = "<r>\n\n" + repeat("<a>", kMaxXmlDepth - 2);
    const std::string closed = repeat("</a>", kMaxXmlDepth - 2) + "</r>";
    const struct {
        const char* name;
        std::string xml;
        std::string expected;
        bool under_wine_too = true;
    } cases[] = {
        {"namespaces and prefixes", R"(<x:a xmlns:x="urn:x" xmlns="urn:d"><b/><x:c>t</x:c></x:a>)",
         "<{urn:x}a><{urn:d}b></{urn:d}b><{urn:x}c>t</{urn:x}c></{urn:x}a>"},
        {"attributes",
         R"(<a xmlns:x="urn:x" xmlns:y="urn:y" y:v="1" x:v="2" v="3" xml:space="preserve"/>)",
         "<a[v=3][v=2][space=preserve]></a>"},
        {"references and CDATA",
         "<a v='&lt;&#x41;'>&lt;&amp;&gt;&quot;&apos;&#65;<![CDATA[<&]]>]]&gt;</a>",
         "<a[v=<A]><&>\"'A<&]]></a>"},
        {"reference beyond 16 bits", "<a>&#x1F600;</a>", "<a>\xF0\x9F\x98\x80</a>", false},
        {"empty elements", "<a><b/><c></c><d v='1'/></a>", "<a><b></b><c></c><d[v=1]></d></a>"},
        {"whitespace kept inside the root only", "<?xml version='1.0'?>\n<a> <b>\n\t</b> </a>\n",
         "<a> <b>\n\t</b> </a>"},
        {"comments and instructions passed over", "<!--c--><a><?p x?>t<!--c-->u</a><!--c-->",
         "<a>tu</a>"},
        {"beyond ASCII",
         "<?xml version='1.0' encoding='UTF-8'?><\xC3\xA9 v='\xC3\xBC'>\xF0\x9F\x98\x80</\xC3\xA9>",
         "<\xC3\xA9[v=\xC3\xBC]>\xF0\x9F\x98\x80</\xC3\xA9>"},
        {"document type", "<!DOCTYPE a [<!ENTITY e 'x'>]><a>&e;</a>",
         "!document type declarations are refused (line 1)."},
        {"mismatched tag", "<a>\n<b></a>", "!mismatched tag (line 2)."},
        {"unbound prefix", "<a>\n\n<x:b/></a>", "!unbound prefix (line 3).", false},
        {"undefined entity", "<a>&e;</a>", "!undefined entity (line 1).", false},
        {"cut short", "<a><b>", "!no element found (line 1).", false},
        {"empty", "", "!no element found (line 1)."},
        {"long text, in pieces", "<a>" + long_value + "</a>", "<a>" + std::string(97, 'x') + "..."},
        {"markup too long", "<a v='" + long_value + "'/>", "!markup too long (line 1)."},
        {"name too long", "<" + long_value + "/>", "!markup too long (line 1)."},
        {"comment too long", "<a><!--" + long_value + std::string(128 << 10, 'x') + "--></a>",
         "!markup too long (line 1)."},
        {"nested as deep as may be", deep + "<b/>" + closed, deep.substr(0, 100) + "..."},
        {"nested too deep", deep + "<b><c/></b>" + closed,
         "!elements nested more than 256 deep (line 3)."},
    };
    for (const auto& c : cases) {
        if (!c.under_wine_too && kUnderWine) continue;
        EXPECT_EQ(trace(c.xml, static_cast<std::size_t>(-1)), c.expected) << c.name;
        EXPECT_EQ(trace(c.xml, 1), c.expected) << c.name << ", a byte at a time";
        EXPECT_LE(longest_text, std::size_t{1} << 20) << c.name;
    }
}

TEST(XmlReader, PassesOnWhatTheInputThrows) {
    struct Failing : ByteSource {
        std::size_t read(char*, std::size_t) override { throw ReadError("The disk is gone."); }
    } input;
    EXPECT_THROW(read_xml(input)->next(), ReadError);
}

}  // namespace
