// Small JPEGs with a tag packet for the document handler's tests: a plain 16 x 8 image of the test data
// with an APP9 packet spliced in after its start marker.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "taglib/image_tags.h"
#include "test_support/jpeg_builder.h"

#ifndef VELLUMAR_SOURCE_DIR
#define VELLUMAR_SOURCE_DIR "."
#endif

struct TestLayer {
    std::string name;
    int x = 0;
    int y = 0;
    bool hasName = true;
    bool hasPosition = true;
};

inline std::string ReadTestFile(const std::string& relativePath) {
    std::ifstream in(std::string(VELLUMAR_SOURCE_DIR) + "/" + relativePath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string TagPacket(int sizeX, int sizeY, const std::vector<TestLayer>& layers) {
    std::string ns = SuiteNamespaceUri;
    std::string packet = "<rdf:RDF xmlns:nto=\"" + ns +
                         "\" xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
                         "<rdf:Description rdf:about=\"" +
                         ns + "\"><nto:size_x>" + std::to_string(sizeX) + "</nto:size_x><nto:size_y>" +
                         std::to_string(sizeY) + "</nto:size_y><nto:layer rdf:parseType=\"Collection\">";
    for (const TestLayer& layer : layers) {
        packet += "<rdf:li>";
        if (layer.hasName) {
            packet += "<nto:name>" + layer.name + "</nto:name>";
        }
        if (layer.hasPosition) {
            packet += "<nto:pos_x>" + std::to_string(layer.x) + "</nto:pos_x><nto:pos_y>" +
                      std::to_string(layer.y) + "</nto:pos_y>";
        }
        packet += "</rdf:li>";
    }
    packet += "</nto:layer><nto:version>2</nto:version></rdf:Description></rdf:RDF>";
    return packet;
}

// The plain test image with `packet` as its APP9 segment (zero-terminated, as the editor writes it).
inline std::string JpegWithPacket(const std::string& packet) {
    std::string plain = ReadTestFile("toolbar/tests/data/plain_16x8.jpg");
    if (plain.size() < 2) {
        return {};
    }
    return plain.substr(0, 2) + testsupport::Segment(0xE9, packet + '\0') + plain.substr(2);
}

inline std::string TaggedJpeg(int sizeX, int sizeY, const std::vector<TestLayer>& layers) {
    return JpegWithPacket(TagPacket(sizeX, sizeY, layers));
}
