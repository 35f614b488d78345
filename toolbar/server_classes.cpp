#include "toolbar/server_classes.h"

namespace {

constexpr ServerClass kServerClasses[kServerClassCount] = {
    {"NotaraTBObj", kClsidNotaraTBObj, kIidINotaraTBObj, "NotaraToolbar.NotaraTBObj", "NotaraTBObj Class",
     "Lumenote Toolbar", nullptr},
    {"DocumentHandler", kClsidDocumentHandler, kIidIDocumentHandler, "NotaraToolbar.DocumentHandler",
     "DocumentHandler Class", "DocumentHandler Class", nullptr},
    {"JPGIconOverlay", kClsidJPGIconOverlay, kIidIJPGIconOverlay, "NotaraToolbar.JPGIconOverlay",
     "JPGIconOverlay Class", "JPGIconOverlay Class", "AnnotatedJpgOverlay"},
};

}  // namespace

std::span<const ServerClass> ServerClasses() {
    return kServerClasses;
}

size_t FindServerClass(const ComGuid& clsid) {
    for (size_t i = 0; i < kServerClassCount; ++i) {
        if (kServerClasses[i].clsid == clsid) {
            return i;
        }
    }
    return kServerClassCount;
}
