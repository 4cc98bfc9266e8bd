// Reads a PE file's headers and import table straight from its bytes.
#include "pe_image.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

namespace {

class FileBytes {
public:
    explicit FileBytes(const std::string& path) {
        FILE* file = std::fopen(path.c_str(), "rb");
        if (file != nullptr) {
            char buffer[4096];
            size_t count;
            while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
                bytes_.append(buffer, count);
            }
            std::fclose(file);
        }
    }

    size_t Size() const { return bytes_.size(); }

    template <typename T>
    bool Read(size_t offset, T* value) const {
        if (offset + sizeof(T) > bytes_.size()) {
            return false;
        }
        std::memcpy(value, bytes_.data() + offset, sizeof(T));
        return true;
    }

    std::string StringAt(size_t offset) const {
        return offset < bytes_.size() ? std::string(bytes_.c_str() + offset)
                                      : std::string();
    }

private:
    std::string bytes_;
};

// The file offset of a relative virtual address, through the sections.
size_t OffsetOf(const FileBytes& file, DWORD rva, size_t sections,
                WORD count) {
    for (WORD i = 0; i < count; ++i) {
        IMAGE_SECTION_HEADER section;
        if (!file.Read(sections + i * sizeof section, &section)) {
            break;
        }
        if (rva >= section.VirtualAddress &&
            rva < section.VirtualAddress + section.Misc.VirtualSize) {
            return rva - section.VirtualAddress + section.PointerToRawData;
        }
    }
    return file.Size();
}

}  // namespace

PeSummary ReadPeSummary(const std::string& path) {
    PeSummary summary;
    FileBytes file(path);
    summary.fileSize = file.Size();
    IMAGE_DOS_HEADER dos;
    IMAGE_NT_HEADERS headers;
    if (!file.Read(0, &dos) || dos.e_magic != IMAGE_DOS_SIGNATURE ||
        !file.Read(dos.e_lfanew, &headers) ||
        headers.Signature != IMAGE_NT_SIGNATURE) {
        return summary;
    }
    summary.valid = true;
    summary.machine = headers.FileHeader.Machine;
    summary.subsystem = headers.OptionalHeader.Subsystem;
    summary.dllCharacteristics = headers.OptionalHeader.DllCharacteristics;

    const size_t sections = dos.e_lfanew +
                            offsetof(IMAGE_NT_HEADERS, OptionalHeader) +
                            headers.FileHeader.SizeOfOptionalHeader;
    const WORD count = headers.FileHeader.NumberOfSections;
    const DWORD importRva = headers.OptionalHeader
                                .DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT]
                                .VirtualAddress;
    if (importRva == 0) {
        return summary;
    }
    size_t descriptor = OffsetOf(file, importRva, sections, count);
    IMAGE_IMPORT_DESCRIPTOR entry;
    while (file.Read(descriptor, &entry) && entry.Name != 0) {
        summary.imports.push_back(
            file.StringAt(OffsetOf(file, entry.Name, sections, count)));
        // The lookup table: one thunk per function, of this build's width.
        size_t thunkOffset =
            OffsetOf(file, entry.OriginalFirstThunk, sections, count);
        IMAGE_THUNK_DATA thunk;
        while (file.Read(thunkOffset, &thunk) && thunk.u1.AddressOfData != 0) {
            if (!IMAGE_SNAP_BY_ORDINAL(thunk.u1.Ordinal)) {
                DWORD name = static_cast<DWORD>(thunk.u1.AddressOfData) +
                             offsetof(IMAGE_IMPORT_BY_NAME, Name);
                summary.importedFunctions.push_back(
                    file.StringAt(OffsetOf(file, name, sections, count)));
            }
            thunkOffset += sizeof thunk;
        }
        descriptor += sizeof entry;
    }
    return summary;
}
