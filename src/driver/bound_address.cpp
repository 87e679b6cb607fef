#include "driver/bound_address.h"

#include <sqlext.h>

#include "convert/result_convert.h"

namespace kelvra {
namespace {

template <typename T>
T* shifted(T* pointer, SQLLEN bytes) {
    if (pointer == nullptr) return nullptr;
    return reinterpret_cast<T*>(reinterpret_cast<char*>(pointer) + bytes);
}

}  // namespace

MsgNo setArraySize(SQLULEN& field, SQLULEN value) {
    if (value == 0) return kMsgInvalidAttrValue;
    field = value > kMaxArraySize ? kMaxArraySize : value;
    return value > kMaxArraySize ? kMsgOptionChanged : kMsgNone;
}

BoundRow boundRow(const DriverDescriptor& desc, const DescRecord& record, SQLULEN row) {
    const SQLLEN offset = *desc.bindOffsetPtr;
    SQLLEN dataStride = 0;
    SQLLEN lengthStride = 0;
    if (row != 0) {
        if (desc.bindType != SQL_BIND_BY_COLUMN) {
            dataStride = lengthStride = static_cast<SQLLEN>(desc.bindType);
        } else {
            const std::size_t fixed = fixedCTypeSize(record.cType);
            dataStride = fixed != 0 ? static_cast<SQLLEN>(fixed) : record.octetLength;
            lengthStride = sizeof(SQLLEN);
        }
    }
    const auto r = static_cast<SQLLEN>(row);
    return {shifted(static_cast<char*>(record.dataPtr), offset + r * dataStride),
            shifted(record.octetLengthPtr, offset + r * lengthStride),
            shifted(record.indicatorPtr, offset + r * lengthStride)};
}

}  // namespace kelvra
