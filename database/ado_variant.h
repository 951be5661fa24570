// AdoVariant: one column value as the access layer hands it around (an OLE
// automation type code plus the value), and the fixed conversions of the
// typed getters.
//
// Values read from the catalogue only ever carry the codes SQLite can
// produce (see ado_recordset.h for the mapping); the conversions still
// accept every code a caller may build by hand.
#pragma once

#include <cstdint>
#include <string>

#include "ole_date.h"

enum AdoVarType : uint16_t {
    kVtEmpty = 0,
    kVtNull = 1,
    kVtI2 = 2,
    kVtI4 = 3,
    kVtR4 = 4,
    kVtR8 = 5,
    kVtCy = 6,
    kVtDate = 7,
    kVtBstr = 8,
    kVtBool = 11,
    kVtDecimal = 14,
    kVtI1 = 16,
    kVtUI1 = 17,
    kVtUI2 = 18,
    kVtUI4 = 19,
    kVtI8 = 20,
    kVtUI8 = 21,
    kVtInt = 22,
    kVtUInt = 23,
    kVtLpstr = 30,
    kVtLpwstr = 31,
    kVtBlob = 65,
    kVtBlobObject = 70,
    kVtArrayUI1 = 8209,
};

struct AdoVariant {
    uint16_t vt = kVtEmpty;
    int64_t nValue = 0;    // integer codes and booleans
    double dValue = 0.0;   // reals, decimals and dates
    std::string strValue;  // texts and blob bytes

    static AdoVariant Null();
    static AdoVariant Int16(int16_t value);
    static AdoVariant Int32(int32_t value);
    static AdoVariant Int64(int64_t value);
    static AdoVariant Byte(uint8_t value);
    static AdoVariant Real(double value);
    static AdoVariant Date(OleDate value);
    static AdoVariant Bool(bool value);
    // An empty text becomes NULL: the catalogue never stores empty strings.
    static AdoVariant Text(const std::string& value);
    static AdoVariant Blob(const std::string& bytes);

    bool IsNull() const { return vt == kVtEmpty || vt == kVtNull; }
};

// The typed getters. Each returns false only where the conversion table has
// no answer at all; the target is then left unchanged.
bool VariantToDate(const AdoVariant& value, OleDate& out);
bool VariantToBool(const AdoVariant& value, bool& out);
bool VariantToByte(const AdoVariant& value, uint8_t& out);
bool VariantToInt16(const AdoVariant& value, int16_t& out);
bool VariantToInt32(const AdoVariant& value, int32_t& out);
bool VariantToReal(const AdoVariant& value, double& out);
// Fails for anything but the 32-bit integer codes and NULL.
bool VariantToUInt32(const AdoVariant& value, uint32_t& out);
// Never fails: unknown codes give "UN_KNOW".
std::string VariantToText(const AdoVariant& value);
