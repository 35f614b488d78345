// Between the portable ComGuid and the platform's GUID: the same layout, copied field by field.
#pragma once

#include <guiddef.h>

#include "toolbar/com_guids.h"

inline GUID ToGuid(const ComGuid& id) {
    GUID guid;
    guid.Data1 = id.data1;
    guid.Data2 = id.data2;
    guid.Data3 = id.data3;
    for (int i = 0; i < 8; ++i) {
        guid.Data4[i] = id.data4[i];
    }
    return guid;
}

inline ComGuid FromGuid(const GUID& guid) {
    ComGuid id;
    id.data1 = guid.Data1;
    id.data2 = guid.Data2;
    id.data3 = guid.Data3;
    for (int i = 0; i < 8; ++i) {
        id.data4[i] = guid.Data4[i];
    }
    return id;
}
