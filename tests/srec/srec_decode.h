// A reader of Motorola S-record text for the tests: checks every record's
// form (CR LF, upper-case hex, count, checksum) and rebuilds the memory
// image. Strict mode also wants the record type chosen by each record's own
// address, at most 16 data bytes and no S5/S6 records, as this converter
// writes them; other writers (objcopy) need only the general form.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct DecodedSrec {
    std::string error;                  // first fault found; empty when the text is sound
    std::vector<std::string> records;   // the record lines without CR LF
    std::string header;                 // data of the S0 record as characters
    unsigned termination_type = 0;      // 7, 8 or 9
    uint32_t entry = 0;
    size_t data_records = 0;
    std::map<uint32_t, uint8_t> memory;  // address -> byte
};

inline int srec_hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;  // lower case counts as a fault too
}

inline DecodedSrec decode_srec(const std::string& text, bool strict = true) {
    DecodedSrec d;
    size_t pos = 0;
    while (pos < text.size() && d.error.empty()) {
        size_t cr = text.find("\r\n", pos);
        if (cr == std::string::npos) {
            d.error = "record without CR LF at offset " + std::to_string(pos);
            break;
        }
        std::string line = text.substr(pos, cr - pos);
        pos = cr + 2;
        d.records.push_back(line);
        if (line.size() < 4 || line[0] != 'S' || line[1] < '0' || line[1] > '9' || line.size() % 2) {
            d.error = "malformed record " + line;
            break;
        }
        unsigned type = static_cast<unsigned>(line[1] - '0');
        std::vector<uint8_t> bytes;
        for (size_t i = 2; i < line.size(); i += 2) {
            int hi = srec_hex_value(line[i]), lo = srec_hex_value(line[i + 1]);
            if (hi < 0 || lo < 0) {
                d.error = "not upper-case hex: " + line;
                break;
            }
            bytes.push_back(static_cast<uint8_t>(hi * 16 + lo));
        }
        if (!d.error.empty()) break;
        if (bytes[0] + 1u != bytes.size()) {
            d.error = "count does not match length: " + line;
            break;
        }
        unsigned sum = 0;
        for (uint8_t b : bytes) sum += b;
        if ((sum & 0xFF) != 0xFF) {
            d.error = "bad checksum: " + line;
            break;
        }
        unsigned width = (type == 0 || type == 1 || type == 9) ? 2
                         : (type == 2 || type == 8) ? 3
                         : (type == 3 || type == 7) ? 4
                         : (type == 5 && !strict) ? 2
                         : (type == 6 && !strict) ? 3
                                                  : 0;
        if (width == 0 || bytes.size() < width + 2) {
            d.error = "unexpected record type or size: " + line;
            break;
        }
        uint32_t address = 0;
        for (unsigned i = 0; i < width; ++i) address = (address << 8) | bytes[1 + i];
        std::vector<uint8_t> data(bytes.begin() + 1 + width, bytes.end() - 1);
        bool first = d.records.size() == 1;
        if (type == 0) {
            if (!first || address != 0) d.error = "S0 record not first or not at 0: " + line;
            d.header.assign(data.begin(), data.end());
        } else if (first) {
            d.error = "first record is not S0: " + line;
        } else if (type == 5 || type == 6) {
            // record count: nothing to load
        } else if (type >= 7) {
            if (pos != text.size()) d.error = "termination record is not last: " + line;
            if (!data.empty()) d.error = "termination record with data: " + line;
            d.termination_type = type;
            d.entry = address;
        } else {
            unsigned expected = address < 0x10000 ? 1 : address < 0x1000000 ? 2 : 3;
            if (strict && type != expected) d.error = "record type does not fit its address: " + line;
            if (strict && (data.empty() || data.size() > 16)) d.error = "data record of " + std::to_string(data.size()) + " bytes";
            ++d.data_records;
            for (size_t i = 0; i < data.size(); ++i) {
                uint32_t at = address + static_cast<uint32_t>(i);
                if (!d.memory.emplace(at, data[i]).second) d.error = "address written twice: " + line;
            }
        }
    }
    if (d.error.empty() && d.termination_type == 0) d.error = "no termination record";
    return d;
}
