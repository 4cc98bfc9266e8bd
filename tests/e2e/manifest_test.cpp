// The two manifests inside Velmora.exe, checked by the rules Windows applies
// when it loads them. Wine's loader forgives much that Windows' refuses:
// there a malformed identity or a stray element stops the program from
// starting at all (a side-by-side error), and UI access is refused to an
// unsigned program outside the protected folders.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "clock_test.h"

namespace {

constexpr char ASM_V1[] = "urn:schemas-microsoft-com:asm.v1";
constexpr char ASM_V2[] = "urn:schemas-microsoft-com:asm.v2";
constexpr char ASM_V3[] = "urn:schemas-microsoft-com:asm.v3";
constexpr char COMPATIBILITY[] = "urn:schemas-microsoft-com:compatibility.v1";
constexpr char SETTINGS_2017[] =
    "http://schemas.microsoft.com/SMI/2017/WindowsSettings";
constexpr char DECLARATION[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>";
constexpr unsigned MAX_VERSION_PART = 65535;

// An element as the loader sees it: its namespace, from the declarations
// in force, and its path of local names from the root.
struct Element {
    std::string space, path, text;
    std::map<std::string, std::string> attributes;  // without xmlns ones
};

struct Manifest {
    bool wellFormed = false;
    std::string declaration;
    std::vector<Element> elements;

    std::vector<const Element*> All(const std::string& path) const {
        std::vector<const Element*> found;
        for (const Element& element : elements) {
            if (element.path == path) {
                found.push_back(&element);
            }
        }
        return found;
    }
    // The value of an attribute of the one element at `path`, or "(none)".
    std::string Value(const std::string& path, const char* attribute) const {
        std::vector<const Element*> found = All(path);
        if (found.size() != 1) {
            return "(" + std::to_string(found.size()) + " elements)";
        }
        auto value = found[0]->attributes.find(attribute);
        return value == found[0]->attributes.end() ? "(none)" : value->second;
    }
};

// Reads tags, attributes, namespace declarations and text; anything it
// cannot read makes the manifest not well-formed.
Manifest ReadManifest(const std::string& text) {
    Manifest manifest;
    struct Open {
        std::string tag, path;
        std::map<std::string, std::string> spaces;  // prefix to namespace
        size_t element;
    };
    std::vector<Open> open;
    size_t at = text.find("?>");
    if (text.compare(0, 5, "<?xml") != 0 || at == std::string::npos) {
        return manifest;
    }
    manifest.declaration = text.substr(0, at + 2);
    bool rooted = false;
    for (at += 2; (at = text.find('<', at)) != std::string::npos;) {
        if (!open.empty()) {
            manifest.elements[open.back().element].text +=
                text.substr(text.rfind('>', at) + 1, at - text.rfind('>', at) - 1);
        }
        if (text.compare(at, 4, "<!--") == 0) {
            at = text.find("-->", at);
            if (at == std::string::npos) {
                return manifest;
            }
            continue;
        }
        size_t end = text.find('>', at);
        if (end == std::string::npos) {
            return manifest;
        }
        std::string tag = text.substr(at + 1, end - at - 1);
        at = end + 1;
        if (tag[0] == '/') {
            if (open.empty() || open.back().tag != tag.substr(1)) {
                return manifest;
            }
            open.pop_back();
            continue;
        }
        bool closed = tag.back() == '/';
        if (closed) {
            tag.pop_back();
        }
        size_t nameEnd = tag.find_first_of(" \t\r\n");
        Open element = {tag.substr(0, nameEnd), "",
                        open.empty() ? std::map<std::string, std::string>()
                                     : open.back().spaces,
                        manifest.elements.size()};
        Element read;
        for (size_t i = nameEnd; i != std::string::npos && i < tag.size();) {
            i = tag.find_first_not_of(" \t\r\n", i);
            if (i == std::string::npos) {
                break;
            }
            size_t equals = tag.find('=', i);
            if (equals == std::string::npos || equals + 1 >= tag.size() ||
                (tag[equals + 1] != '"' && tag[equals + 1] != '\'')) {
                return manifest;
            }
            size_t close = tag.find(tag[equals + 1], equals + 2);
            if (close == std::string::npos) {
                return manifest;
            }
            std::string name = tag.substr(i, equals - i);
            std::string value = tag.substr(equals + 2, close - equals - 2);
            if (name == "xmlns") {
                element.spaces[""] = value;
            } else if (name.compare(0, 6, "xmlns:") == 0) {
                element.spaces[name.substr(6)] = value;
            } else if (!read.attributes.emplace(name, value).second) {
                return manifest;  // the same attribute twice
            }
            i = close + 1;
        }
        size_t colon = element.tag.find(':');
        std::string prefix =
            colon == std::string::npos ? "" : element.tag.substr(0, colon);
        std::string local =
            colon == std::string::npos ? element.tag : element.tag.substr(colon + 1);
        if (element.spaces.count(prefix) == 0 || (open.empty() && rooted)) {
            return manifest;  // an undeclared prefix, or a second root
        }
        rooted = true;
        read.space = element.spaces[prefix];
        read.path = (open.empty() ? "" : open.back().path + "/") + local;
        element.path = read.path;
        manifest.elements.push_back(read);
        if (!closed) {
            open.push_back(element);
        }
    }
    manifest.wellFormed = rooted && open.empty();
    return manifest;
}

// Where each element may stand, in which namespaces, with which attributes.
struct Allowed {
    const char* path;
    std::set<std::string> spaces;
    std::set<std::string> attributes;
};
const Allowed ALLOWED[] = {
    {"assembly", {ASM_V1}, {"manifestVersion"}},
    {"assembly/assemblyIdentity", {ASM_V1},
     {"type", "name", "version", "processorArchitecture"}},
    {"assembly/description", {ASM_V1}, {}},
    {"assembly/dependency", {ASM_V1}, {}},
    {"assembly/dependency/dependentAssembly", {ASM_V1}, {}},
    {"assembly/dependency/dependentAssembly/assemblyIdentity", {ASM_V1},
     {"type", "name", "version", "processorArchitecture", "publicKeyToken",
      "language"}},
    {"assembly/trustInfo", {ASM_V2, ASM_V3}, {}},
    {"assembly/trustInfo/security", {ASM_V2, ASM_V3}, {}},
    {"assembly/trustInfo/security/requestedPrivileges", {ASM_V2, ASM_V3}, {}},
    {"assembly/trustInfo/security/requestedPrivileges/requestedExecutionLevel",
     {ASM_V2, ASM_V3}, {"level", "uiAccess"}},
    {"assembly/compatibility", {COMPATIBILITY}, {}},
    {"assembly/compatibility/application", {COMPATIBILITY}, {}},
    {"assembly/compatibility/application/supportedOS", {COMPATIBILITY}, {"Id"}},
    {"assembly/application", {ASM_V3}, {}},
    {"assembly/application/windowsSettings", {ASM_V3}, {}},
    {"assembly/application/windowsSettings/gdiScaling", {SETTINGS_2017}, {}},
};

// Vista, 7, 8, 8.1, and 10 and 11.
const std::set<std::string> KNOWN_SYSTEMS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
};
const std::set<std::string> KNOWN_ARCHITECTURES = {"*", "x86", "amd64",
                                                   "arm64"};
constexpr char IDENTITY[] = "assembly/assemblyIdentity";
constexpr char EXECUTION_LEVEL[] =
    "assembly/trustInfo/security/requestedPrivileges/requestedExecutionLevel";
constexpr char CONTROLS[] =
    "assembly/dependency/dependentAssembly/assemblyIdentity";

// Four numeric parts, each at most 65535: anything else is a side-by-side
// error on Windows.
bool IsAssemblyVersion(const std::string& version) {
    int parts = 0;
    size_t at = 0;
    while (at <= version.size()) {
        size_t dot = version.find('.', at);
        std::string part = version.substr(at, dot == std::string::npos
                                                  ? std::string::npos
                                                  : dot - at);
        if (part.empty() || part.size() > 5 ||
            part.find_first_not_of("0123456789") != std::string::npos ||
            std::stoul(part) > MAX_VERSION_PART) {
            return false;
        }
        ++parts;
        if (dot == std::string::npos) {
            break;
        }
        at = dot + 1;
    }
    return parts == 4;
}

struct Manifests {
    Manifest program, dialogs;
    std::string fileVersion;  // from the version record: "3.0.0.1"
};

struct Rule {
    const char* what;
    void (*check)(const Manifests& m);
};

const Rule RULES[] = {
    {"both are well-formed UTF-8 with one assembly root in asm.v1",
     [](const Manifests& m) {
         for (const Manifest* manifest : {&m.program, &m.dialogs}) {
             EXPECT_TRUE(manifest->wellFormed);
             EXPECT_EQ(DECLARATION, manifest->declaration);
             ASSERT_FALSE(manifest->elements.empty());
             EXPECT_EQ(ASM_V1, manifest->elements[0].space);
             EXPECT_EQ("1.0", manifest->Value("assembly", "manifestVersion"));
         }
     }},
    {"every element where and as the schema has it, nothing else",
     [](const Manifests& m) {
         for (const Manifest* manifest : {&m.program, &m.dialogs}) {
             for (const Element& element : manifest->elements) {
                 const Allowed* allowed = nullptr;
                 for (const Allowed& row : ALLOWED) {
                     allowed = element.path == row.path ? &row : allowed;
                 }
                 ASSERT_NE(nullptr, allowed) << element.path;
                 EXPECT_EQ(1u, allowed->spaces.count(element.space))
                     << element.path << " in " << element.space;
                 for (const auto& attribute : element.attributes) {
                     EXPECT_EQ(1u, allowed->attributes.count(attribute.first))
                         << element.path << " @" << attribute.first;
                 }
             }
         }
     }},
    {"the identity's version has four numeric parts, the version record's",
     [](const Manifests& m) {
         std::string version = m.program.Value(IDENTITY, "version");
         EXPECT_TRUE(IsAssemblyVersion(version)) << version;
         EXPECT_EQ(m.fileVersion, version);
     }},
    {"the identity is a win32 one with a name and a known architecture",
     [](const Manifests& m) {
         EXPECT_EQ("win32", m.program.Value(IDENTITY, "type"));
         EXPECT_EQ("Velmora.Clock", m.program.Value(IDENTITY, "name"));
         EXPECT_EQ(1u, KNOWN_ARCHITECTURES.count(
                           m.program.Value(IDENTITY, "processorArchitecture")));
     }},
    {"runs as the invoker, without UI access",
     [](const Manifests& m) {
         EXPECT_EQ("asInvoker", m.program.Value(EXECUTION_LEVEL, "level"));
         EXPECT_EQ("false", m.program.Value(EXECUTION_LEVEL, "uiAccess"));
     }},
    {"every supported system is one Windows knows, each once",
     [](const Manifests& m) {
         std::set<std::string> seen;
         for (const Element* os :
              m.program.All("assembly/compatibility/application/supportedOS")) {
             std::string id = os->attributes.count("Id") ? os->attributes.at("Id") : "";
             EXPECT_EQ(1u, KNOWN_SYSTEMS.count(id)) << id;
             EXPECT_TRUE(seen.insert(id).second) << id;
         }
         EXPECT_EQ(KNOWN_SYSTEMS.size(), seen.size());
     }},
    {"GDI scaling on, and no DPI awareness: the file keeps its pixels",
     [](const Manifests& m) {
         auto found =
             m.program.All("assembly/application/windowsSettings/gdiScaling");
         ASSERT_EQ(1u, found.size());
         EXPECT_EQ("true", found[0]->text);
     }},
    {"Common Controls 6 for the dialogs only, named in full",
     [](const Manifests& m) {
         EXPECT_TRUE(m.program.All(CONTROLS).empty());
         const Manifest& d = m.dialogs;
         EXPECT_EQ("win32", d.Value(CONTROLS, "type"));
         EXPECT_EQ("Microsoft.Windows.Common-Controls", d.Value(CONTROLS, "name"));
         EXPECT_EQ("6.0.0.0", d.Value(CONTROLS, "version"));
         EXPECT_EQ("6595b64144ccf1df", d.Value(CONTROLS, "publicKeyToken"));
         EXPECT_EQ(1u, KNOWN_ARCHITECTURES.count(
                           d.Value(CONTROLS, "processorArchitecture")));
         EXPECT_EQ("*", d.Value(CONTROLS, "language"));
     }},
};

std::string ManifestText(HMODULE module, LPCSTR id) {
    HRSRC found = FindResourceA(module, id, RT_MANIFEST);
    if (found == nullptr) {
        return std::string();
    }
    return std::string(
        static_cast<const char*>(LockResource(LoadResource(module, found))),
        SizeofResource(module, found));
}

std::string FileVersion(const std::string& path) {
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), nullptr);
    std::vector<char> data(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (size == 0 || !GetFileVersionInfoA(path.c_str(), 0, size, data.data()) ||
        !VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed),
                        &length)) {
        return "(no version record)";
    }
    return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
           std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
           std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." +
           std::to_string(LOWORD(fixed->dwFileVersionLS));
}

TEST(ManifestTest, WhatTheLoaderRequiresAndActsOn) {
    const std::string path = VelmoraPath();
    HMODULE module =
        LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, module);
    Manifests m;
    m.program = ReadManifest(ManifestText(module, CREATEPROCESS_MANIFEST_RESOURCE_ID));
    m.dialogs = ReadManifest(ManifestText(module, ISOLATIONAWARE_MANIFEST_RESOURCE_ID));
    FreeLibrary(module);
    m.fileVersion = FileVersion(path);
    for (const Rule& rule : RULES) {
        SCOPED_TRACE(rule.what);
        rule.check(m);
    }
}

}  // namespace
