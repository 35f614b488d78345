// A small page of the browser's object model for the band's checks under Wine, where no HTML engine is
// installed: a browser with a document, one image, a body and the caption elements the handler makes.
//
// The object model's interfaces have hundreds of methods of which the handler calls a few, so each fake
// object carries hand-made interface tables: every slot traps, except the ones filled in. Slot numbers
// come from the interface declarations themselves (pointer-to-member layout of the Itanium C++ ABI that
// MinGW's g++ uses), so no number is written by hand.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <mshtml.h>
#include <ocidl.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace fakehtml {

// The interface table index of a virtual method.
template <typename Method>
size_t SlotOf(Method method) {
    struct Raw {
        uintptr_t pointer;  // 1 + byte offset into the table, for a virtual method
        ptrdiff_t adjust;
    };
    static_assert(sizeof(Method) == sizeof(Raw));
    Raw raw;
    std::memcpy(&raw, &method, sizeof raw);
    return (raw.pointer - 1) / sizeof(void*);
}

constexpr size_t kTableSize = 512;

struct Object;

// One interface of an object: what a COM pointer to it points at.
struct Face {
    void** table;
    Object* owner;
};

void __stdcall Trap() {
    std::abort();  // a method the fake does not provide was called
}

struct Table {
    void* slots[kTableSize];
};

// Every fake page object: reference count, the interfaces it answers, and what was done to it.
struct Object {
    LONG references = 1;
    std::vector<std::pair<IID, std::unique_ptr<Face>>> faces;
    std::vector<std::unique_ptr<Table>> tables;

    // Data of the page object.
    std::string kind;
    std::wstring text;  // inner text, or a string the object answers with
    std::wstring id;
    std::vector<std::pair<std::wstring, std::wstring>> styleLog;
    Object* style = nullptr;
    std::vector<Object*> children;
    Object* parent = nullptr;
    long offsetLeft = 0;
    long offsetTop = 0;
    long width = 0;
    long height = 0;
    std::wstring mimeType;
    std::wstring src;
    Object* offsetParent = nullptr;
    Object* events = nullptr;           // the connection point of a browser or document
    std::map<DWORD, IDispatch*> sinks;  // a connection point's connected sinks, by cookie
    DWORD nextCookie = 1;
    std::map<std::string, int> calls;

    virtual ~Object() = default;

    IUnknown* As(REFIID iid) {
        for (auto& [faceIid, face] : faces) {
            if (IsEqualIID(faceIid, iid)) {
                return reinterpret_cast<IUnknown*>(face.get());
            }
        }
        return nullptr;
    }
    IUnknown* Identity() { return reinterpret_cast<IUnknown*>(faces.front().second.get()); }
};

inline Object* Owner(void* face) {
    return static_cast<Face*>(face)->owner;
}

HRESULT __stdcall QueryInterfaceSlot(void* self, REFIID iid, void** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    Object* object = Owner(self);
    IUnknown* face = IsEqualIID(iid, IID_IUnknown) ? object->Identity() : object->As(iid);
    *out = face;
    if (face == nullptr) {
        return E_NOINTERFACE;
    }
    InterlockedIncrement(&object->references);
    return S_OK;
}

ULONG __stdcall AddRefSlot(void* self) {
    return static_cast<ULONG>(InterlockedIncrement(&Owner(self)->references));
}

// The page's objects live as long as the test's Page; references are counted only to see leaks.
ULONG __stdcall ReleaseSlot(void* self) {
    return static_cast<ULONG>(InterlockedDecrement(&Owner(self)->references));
}

// Adds interface `iid` to the object with a table whose three IUnknown slots work and the rest trap.
inline Table& AddFace(Object& object, REFIID iid) {
    auto table = std::make_unique<Table>();
    for (void*& slot : table->slots) {
        slot = reinterpret_cast<void*>(&Trap);
    }
    table->slots[0] = reinterpret_cast<void*>(&QueryInterfaceSlot);
    table->slots[1] = reinterpret_cast<void*>(&AddRefSlot);
    table->slots[2] = reinterpret_cast<void*>(&ReleaseSlot);
    auto face = std::make_unique<Face>();
    face->table = table->slots;
    face->owner = &object;
    Table& result = *table;
    object.tables.push_back(std::move(table));
    object.faces.emplace_back(iid, std::move(face));
    return result;
}

template <typename Method, typename Function>
void Fill(Table& table, Method method, Function function) {
    size_t slot = SlotOf(method);
    if (slot >= kTableSize) {
        std::abort();
    }
    table.slots[slot] = reinterpret_cast<void*>(function);
}

template <typename I>
I* Interface(Object* object, REFIID iid) {
    if (object == nullptr) {
        return nullptr;
    }
    IUnknown* face = object->As(iid);
    if (face != nullptr) {
        face->AddRef();
    }
    return reinterpret_cast<I*>(face);
}

inline std::wstring Text(BSTR value) {
    return value != nullptr ? std::wstring(value, SysStringLen(value)) : std::wstring();
}

inline std::wstring VariantText(const VARIANT& value) {
    return V_VT(&value) == VT_BSTR ? Text(V_BSTR(&value)) : std::wstring();
}

}  // namespace fakehtml
