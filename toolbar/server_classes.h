// The class table of LumenoteToolbar: the three COM classes in the order the server hands them out and
// registers them, with the names the registry knows them by.
#pragma once

#include <cstddef>
#include <span>

#include "toolbar/com_guids.h"

struct ServerClass {
    const char* name;  // the coclass name in the type library
    ComGuid clsid;
    ComGuid defaultInterface;       // dual, nothing of its own beyond IDispatch
    const char* progId;             // version-independent; the versioned one adds ".1"
    const char* progIdValue;        // default value of both ProgID keys
    const char* clsidValue;         // default value of the class's CLSID key
    const char* overlayIdentifier;  // key name under ShellIconOverlayIdentifiers, or nullptr
};

// Indexes into ServerClasses(); the Windows class factories use the same order.
enum ServerClassIndex : size_t {
    kNotaraTBObjClass = 0,
    kDocumentHandlerClass = 1,
    kJPGIconOverlayClass = 2,
    kServerClassCount = 3,
};

std::span<const ServerClass> ServerClasses();

// The index of the class with this CLSID, or kServerClassCount when the server has no such class.
size_t FindServerClass(const ComGuid& clsid);
