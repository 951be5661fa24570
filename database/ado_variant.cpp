#include "ado_variant.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// The leading decimal number of a text, 0 when there is none; out-of-range
// numbers saturate instead of wrapping.
int32_t LeadingInt32(const std::string& text) {
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value > INT32_MAX) {
        return INT32_MAX;
    }
    if (value < INT32_MIN) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(value);
}

double LeadingReal(const std::string& text) {
    return std::strtod(text.c_str(), nullptr);
}

// Real to 32-bit by adding 0.5 and truncating (2.5 gives 3, -2.5 gives -2),
// saturating where the result would not fit.
int32_t RoundedInt32(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    const double rounded = std::trunc(value + 0.5);
    if (rounded >= 2147483647.0) {
        return INT32_MAX;
    }
    if (rounded <= -2147483648.0) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(rounded);
}

std::string Printf(const char* format, auto value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

AdoVariant AdoVariant::Null() {
    AdoVariant value;
    value.vt = kVtNull;
    return value;
}

AdoVariant AdoVariant::Int16(int16_t v) {
    AdoVariant value;
    value.vt = kVtI2;
    value.nValue = v;
    return value;
}

AdoVariant AdoVariant::Int32(int32_t v) {
    AdoVariant value;
    value.vt = kVtI4;
    value.nValue = v;
    return value;
}

AdoVariant AdoVariant::Int64(int64_t v) {
    AdoVariant value;
    value.vt = kVtI8;
    value.nValue = v;
    return value;
}

AdoVariant AdoVariant::Byte(uint8_t v) {
    AdoVariant value;
    value.vt = kVtUI1;
    value.nValue = v;
    return value;
}

AdoVariant AdoVariant::Real(double v) {
    AdoVariant value;
    value.vt = kVtR8;
    value.dValue = v;
    return value;
}

AdoVariant AdoVariant::Date(OleDate v) {
    AdoVariant value;
    value.vt = kVtDate;
    value.dValue = v.m_dt;
    return value;
}

AdoVariant AdoVariant::Bool(bool v) {
    AdoVariant value;
    value.vt = kVtBool;
    value.nValue = v ? 1 : 0;
    return value;
}

AdoVariant AdoVariant::Text(const std::string& v) {
    if (v.empty()) {
        return Null();
    }
    AdoVariant value;
    value.vt = kVtBstr;
    value.strValue = v;
    return value;
}

AdoVariant AdoVariant::Blob(const std::string& bytes) {
    AdoVariant value;
    value.vt = kVtBlob;
    value.strValue = bytes;
    return value;
}

bool VariantToDate(const AdoVariant& value, OleDate& out) {
    out = OleDate{};
    if (value.vt == kVtDate) {
        out.m_dt = value.dValue;
    } else {
        out.m_status = OleDate::kInvalid;
    }
    return true;
}

bool VariantToBool(const AdoVariant& value, bool& out) {
    out = value.vt == kVtBool && value.nValue != 0;
    return true;
}

bool VariantToByte(const AdoVariant& value, uint8_t& out) {
    switch (value.vt) {
        case kVtI2:
        case kVtI1:
        case kVtUI1:
            out = static_cast<uint8_t>(value.nValue & 0xFF);
            break;
        default:
            out = 0;
    }
    return true;
}

bool VariantToInt16(const AdoVariant& value, int16_t& out) {
    switch (value.vt) {
        case kVtI2:
        case kVtBool:
        case kVtUI2:
            out = static_cast<int16_t>(value.nValue & 0xFFFF);
            break;
        case kVtI1:
        case kVtUI1:
            out = static_cast<int16_t>(value.nValue & 0xFF);
            break;
        default:
            out = 0;
    }
    return true;
}

bool VariantToInt32(const AdoVariant& value, int32_t& out) {
    switch (value.vt) {
        case kVtI2:
        case kVtBool:
        case kVtUI2:
            out = static_cast<int16_t>(value.nValue & 0xFFFF);
            break;
        case kVtI4:
        case kVtUI4:
        case kVtInt:
            out = static_cast<int32_t>(static_cast<uint32_t>(value.nValue));
            break;
        case kVtR4:
        case kVtR8:
        case kVtDecimal:
            out = RoundedInt32(value.dValue);
            break;
        case kVtBstr:
        case kVtLpstr:
        case kVtLpwstr:
            out = LeadingInt32(value.strValue);
            break;
        case kVtI1:
        case kVtUI1:
            out = static_cast<int32_t>(value.nValue & 0xFF);
            break;
        default:
            out = 0;
    }
    return true;
}

bool VariantToReal(const AdoVariant& value, double& out) {
    switch (value.vt) {
        case kVtI2:
        case kVtBool:
        case kVtUI2:
            out = static_cast<int16_t>(value.nValue & 0xFFFF);
            break;
        case kVtI4:
        case kVtUI4:
        case kVtInt:
            out = static_cast<int32_t>(static_cast<uint32_t>(value.nValue));
            break;
        case kVtR4:
        case kVtR8:
        case kVtDecimal:
            out = value.dValue;
            break;
        case kVtBstr:
        case kVtLpstr:
        case kVtLpwstr:
            out = LeadingReal(value.strValue);
            break;
        case kVtI1:
        case kVtUI1:
            out = static_cast<double>(value.nValue & 0xFF);
            break;
        default:
            out = 0.0;
    }
    return true;
}

bool VariantToUInt32(const AdoVariant& value, uint32_t& out) {
    switch (value.vt) {
        case kVtI4:
        case kVtUI4:
            out = static_cast<uint32_t>(value.nValue);
            return true;
        case kVtEmpty:
        case kVtNull:
            out = 0;
            return true;
        default:
            return false;
    }
}

std::string VariantToText(const AdoVariant& value) {
    switch (value.vt) {
        case kVtEmpty:
        case kVtNull:
            return {};
        case kVtUI1:
            return Printf("%d", static_cast<int>(value.nValue & 0xFF));
        case kVtUI2:
            return Printf("%d", static_cast<int>(value.nValue & 0xFFFF));
        case kVtI1:
            return Printf("%d", static_cast<int>(static_cast<int8_t>(value.nValue & 0xFF)));
        case kVtI2:
            return Printf("%d", static_cast<int>(static_cast<int16_t>(value.nValue & 0xFFFF)));
        case kVtI4:
        case kVtUI4:
        case kVtI8:
        case kVtUI8:
        case kVtInt:
        case kVtUInt:
            // Wider values print by their low 32 bits, as a signed number.
            return Printf("%d", static_cast<int32_t>(static_cast<uint32_t>(value.nValue)));
        case kVtR4:
            return Printf("%.4f", value.dValue);
        case kVtR8:
        case kVtDecimal:
            return Printf("%.8f", value.dValue);
        case kVtDate: {
            OleDate date;
            date.m_dt = value.dValue;
            return date.Format();
        }
        case kVtBstr:
        case kVtLpstr:
        case kVtLpwstr:
            return value.strValue;
        case kVtBool:
            return value.nValue != 0 ? "TRUE" : "FALSE";
        case kVtBlob:
        case kVtBlobObject:
        case kVtArrayUI1:
            return "[BLOB]";
        default:
            return "UN_KNOW";
    }
}
