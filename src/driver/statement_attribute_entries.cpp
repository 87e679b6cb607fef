// Statement attributes and options: SQLSetStmtAttr, SQLGetStmtAttr (and their wide twins),
// SQLSetStmtOption, SQLGetStmtOption and SQLSetScrollOptions. Most attributes are fields of the statement's
// descriptors. Rowsets and parameter sets may hold up to kMaxArraySize rows; a value the
// driver cannot honour is replaced and reported with 01S02.
#include <sql.h>
#include <sqlext.h>

#include <cstring>

#include "driver/bound_address.h"
#include "driver/entry.h"
#include "driver/export.h"

using namespace kelvra;

namespace {

// A value of the ODBC 2 option or attribute, as the client passed it.
SQLULEN numberOf(SQLPOINTER value) {
    return reinterpret_cast<SQLULEN>(value);
}

// Cursor type and concurrency shape the result: they change only while there is none.
MsgNo setCursorOption(DriverStatement& stmt, std::uint16_t DriverStatement::*field,
                      std::uint16_t value, MsgNo replaced) {
    if (stmt.state != kStateNoResult && stmt.*field != value) return kMsgInvalidCursorState;
    stmt.*field = value;
    return replaced;
}

MsgNo setStmtOption(DriverStatement& stmt, SQLUSMALLINT option, SQLULEN value) {
    switch (option) {
        case SQL_QUERY_TIMEOUT:
        case SQL_MAX_LENGTH:
        case SQL_KEYSET_SIZE:
            return value != 0 ? kMsgOptionChanged : kMsgNone;
        case SQL_MAX_ROWS:
            stmt.maxRows = value;
            return kMsgNone;
        case SQL_NOSCAN:
        case SQL_ASYNC_ENABLE:
            return value != 0 ? kMsgOptionalFeature : kMsgNone;
        case SQL_BIND_TYPE:
            stmt.ard->bindType = static_cast<std::int32_t>(value);
            return kMsgNone;
        case SQL_CURSOR_TYPE: {
            const bool known =
                value == SQL_CURSOR_FORWARD_ONLY || value == SQL_CURSOR_KEYSET_DRIVEN;
            return setCursorOption(stmt, &DriverStatement::cursorType,
                                   known ? value : SQL_CURSOR_KEYSET_DRIVEN,
                                   known ? kMsgNone : kMsgOptionChanged);
        }
        case SQL_CONCURRENCY: {
            const bool known = value == SQL_CONCUR_READ_ONLY || value == SQL_CONCUR_LOCK;
            return setCursorOption(stmt, &DriverStatement::concurrency,
                                   known ? value : SQL_CONCUR_LOCK,
                                   known ? kMsgNone : kMsgOptionChanged);
        }
        case SQL_ROWSET_SIZE:
            return setArraySize(stmt.rowsetSize, value);
        case SQL_RETRIEVE_DATA:
            stmt.retrieveData = static_cast<std::uint16_t>(value);
            return kMsgNone;
        case SQL_USE_BOOKMARKS:
            stmt.useBookmarks = static_cast<std::uint16_t>(value);
            return kMsgNone;
        default:
            return kMsgNotCapable;
    }
}

MsgNo getStmtOption(const DriverStatement& stmt, SQLUSMALLINT option, SQLULEN& answer) {
    switch (option) {
        case SQL_QUERY_TIMEOUT:
        case SQL_NOSCAN:
        case SQL_MAX_LENGTH:
        case SQL_ASYNC_ENABLE:
        case SQL_KEYSET_SIZE:
            answer = 0;
            return kMsgNone;
        case SQL_MAX_ROWS:
            answer = stmt.maxRows;
            return kMsgNone;
        case SQL_BIND_TYPE:
            answer = static_cast<SQLULEN>(stmt.ard->bindType);
            return kMsgNone;
        case SQL_CURSOR_TYPE:
            answer = stmt.cursorType;
            return kMsgNone;
        case SQL_CONCURRENCY:
            answer = stmt.concurrency;
            return kMsgNone;
        case SQL_ROWSET_SIZE:
            answer = stmt.rowsetSize;
            return kMsgNone;
        case SQL_RETRIEVE_DATA:
            answer = stmt.retrieveData;
            return kMsgNone;
        case SQL_USE_BOOKMARKS:
            answer = stmt.useBookmarks;
            return kMsgNone;
        case SQL_GET_BOOKMARK:
            if (stmt.currentRow <= 0 || stmt.useBookmarks == SQL_UB_OFF) return kMsgNotCapable;
            answer = static_cast<SQLULEN>(stmt.currentRow);
            return kMsgNone;
        case SQL_ROW_NUMBER:
            answer = stmt.currentRow == kAddedRow ? 0 : static_cast<SQLULEN>(stmt.currentRow);
            return kMsgNone;
        default:
            return kMsgNotCapable;
    }
}

// SQL_ATTR_APP_ROW_DESC and SQL_ATTR_APP_PARAM_DESC: an explicit descriptor of the connection,
// the statement's own implicit one, or null for the implicit one.
MsgNo setAppDescriptor(DriverStatement& stmt, DriverDescriptor*& current,
                       DriverDescriptor& implicit, SQLPOINTER value) {
    auto* desc = static_cast<DriverDescriptor*>(value);
    if (desc == nullptr || desc == &implicit) {
        current = &implicit;
        return kMsgNone;
    }
    if (desc->allocType != SQL_DESC_ALLOC_USER) return kMsgAutoDescriptor;
    if (desc->connection != stmt.connection) return kMsgInvalidAttrValue;
    current = desc;
    return kMsgNone;
}

void setOffsetPointer(DriverDescriptor& desc, SQLPOINTER value) {
    desc.bindOffsetPtr = value != nullptr ? static_cast<SQLLEN*>(value) : &desc.zeroOffset;
}

MsgNo setStmtAttr(DriverStatement& stmt, SQLINTEGER attribute, SQLPOINTER value) {
    const SQLULEN number = numberOf(value);
    if ((attribute >= SQL_QUERY_TIMEOUT && attribute <= SQL_USE_BOOKMARKS) ||
        attribute == SQL_ROW_NUMBER) {
        return setStmtOption(stmt, static_cast<SQLUSMALLINT>(attribute), number);
    }
    switch (attribute) {
        case SQL_ATTR_CURSOR_SENSITIVITY:
            return number != SQL_UNSPECIFIED ? kMsgFeatureNotImplemented : kMsgNone;
        case SQL_ATTR_CURSOR_SCROLLABLE:
            if (number != SQL_NONSCROLLABLE && number != SQL_SCROLLABLE) {
                return kMsgInvalidAttrValue;
            }
            return setCursorOption(
                stmt, &DriverStatement::cursorType,
                number == SQL_SCROLLABLE ? SQL_CURSOR_KEYSET_DRIVEN : SQL_CURSOR_FORWARD_ONLY,
                kMsgNone);
        case SQL_ATTR_ENABLE_AUTO_IPD:
            stmt.enableAutoIpd = static_cast<std::uint32_t>(number);
            return kMsgNone;
        case SQL_ATTR_FETCH_BOOKMARK_PTR:
            stmt.fetchBookmarkPtr = value;
            return kMsgNone;
        case SQL_ATTR_PARAM_BIND_OFFSET_PTR:
            setOffsetPointer(*stmt.apd, value);
            return kMsgNone;
        case SQL_ATTR_PARAM_BIND_TYPE:
            stmt.apd->bindType = static_cast<std::int32_t>(number);
            return kMsgNone;
        case SQL_ATTR_PARAM_OPERATION_PTR:
            stmt.apd->arrayStatusPtr = static_cast<SQLUSMALLINT*>(value);
            return kMsgNone;
        case SQL_ATTR_PARAM_STATUS_PTR:
            stmt.ipd.arrayStatusPtr = static_cast<SQLUSMALLINT*>(value);
            return kMsgNone;
        case SQL_ATTR_PARAMS_PROCESSED_PTR:
            stmt.ipd.rowsProcessedPtr = static_cast<SQLULEN*>(value);
            return kMsgNone;
        case SQL_ATTR_PARAMSET_SIZE:
            return setArraySize(stmt.apd->arraySize, number);
        case SQL_ATTR_ROW_BIND_OFFSET_PTR:
            setOffsetPointer(*stmt.ard, value);
            return kMsgNone;
        case SQL_ATTR_ROW_OPERATION_PTR:
            stmt.ard->arrayStatusPtr = static_cast<SQLUSMALLINT*>(value);
            return kMsgNone;
        case SQL_ATTR_ROW_STATUS_PTR:
            stmt.ird.arrayStatusPtr = static_cast<SQLUSMALLINT*>(value);
            return kMsgNone;
        case SQL_ATTR_ROWS_FETCHED_PTR:
            stmt.ird.rowsProcessedPtr = static_cast<SQLULEN*>(value);
            return kMsgNone;
        case SQL_ATTR_ROW_ARRAY_SIZE:
            return setArraySize(stmt.ard->arraySize, number);
        case SQL_ATTR_APP_ROW_DESC:
            return setAppDescriptor(stmt, stmt.ard, stmt.implicitArd, value);
        case SQL_ATTR_APP_PARAM_DESC:
            return setAppDescriptor(stmt, stmt.apd, stmt.implicitApd, value);
        case SQL_ATTR_METADATA_ID:
            stmt.metadataId = static_cast<std::uint32_t>(number);
            return kMsgNone;
        default:
            return kMsgInvalidAttrId;
    }
}

// An attribute's answer: a number of the width the attribute has, or a pointer.
struct Answer {
    enum Kind { kUnsigned, kLength, kPointer } kind = kLength;
    SQLULEN number = 0;
    SQLPOINTER pointer = nullptr;
};

Answer pointerAnswer(const void* p) {
    return {Answer::kPointer, 0, const_cast<void*>(p)};
}

MsgNo getStmtAttr(DriverStatement& stmt, SQLINTEGER attribute, Answer& out) {
    if ((attribute >= SQL_QUERY_TIMEOUT && attribute <= SQL_USE_BOOKMARKS) ||
        attribute == SQL_ROW_NUMBER) {
        return getStmtOption(stmt, static_cast<SQLUSMALLINT>(attribute), out.number);
    }
    const DriverDescriptor& apd = *stmt.apd;
    const DriverDescriptor& ard = *stmt.ard;
    switch (attribute) {
        case SQL_ATTR_CURSOR_SENSITIVITY:
            out = {Answer::kUnsigned, SQL_UNSPECIFIED};
            return kMsgNone;
        case SQL_ATTR_CURSOR_SCROLLABLE:
            out = {Answer::kUnsigned, stmt.cursorType == SQL_CURSOR_FORWARD_ONLY
                                          ? SQLULEN{SQL_NONSCROLLABLE}
                                          : SQLULEN{SQL_SCROLLABLE}};
            return kMsgNone;
        case SQL_ATTR_ENABLE_AUTO_IPD:
            out = {Answer::kUnsigned, stmt.enableAutoIpd};
            return kMsgNone;
        case SQL_ATTR_METADATA_ID:
            out = {Answer::kUnsigned, stmt.metadataId};
            return kMsgNone;
        case SQL_ATTR_FETCH_BOOKMARK_PTR:
            out = pointerAnswer(stmt.fetchBookmarkPtr);
            return kMsgNone;
        case SQL_ATTR_PARAM_BIND_OFFSET_PTR:
            out = pointerAnswer(apd.bindOffsetPtr == &apd.zeroOffset ? nullptr : apd.bindOffsetPtr);
            return kMsgNone;
        case SQL_ATTR_PARAM_BIND_TYPE:
            out.number = static_cast<SQLULEN>(apd.bindType);
            return kMsgNone;
        case SQL_ATTR_PARAM_OPERATION_PTR:
            out = pointerAnswer(apd.arrayStatusPtr);
            return kMsgNone;
        case SQL_ATTR_PARAM_STATUS_PTR:
            out = pointerAnswer(stmt.ipd.arrayStatusPtr);
            return kMsgNone;
        case SQL_ATTR_PARAMS_PROCESSED_PTR:
            out = pointerAnswer(stmt.ipd.rowsProcessedPtr);
            return kMsgNone;
        case SQL_ATTR_PARAMSET_SIZE:
            out.number = apd.arraySize;
            return kMsgNone;
        case SQL_ATTR_ROW_BIND_OFFSET_PTR:
            out = pointerAnswer(ard.bindOffsetPtr == &ard.zeroOffset ? nullptr : ard.bindOffsetPtr);
            return kMsgNone;
        case SQL_ATTR_ROW_OPERATION_PTR:
            out = pointerAnswer(ard.arrayStatusPtr);
            return kMsgNone;
        case SQL_ATTR_ROW_STATUS_PTR:
            out = pointerAnswer(stmt.ird.arrayStatusPtr);
            return kMsgNone;
        case SQL_ATTR_ROWS_FETCHED_PTR:
            out = pointerAnswer(stmt.ird.rowsProcessedPtr);
            return kMsgNone;
        case SQL_ATTR_ROW_ARRAY_SIZE:
            out.number = ard.arraySize;
            return kMsgNone;
        case SQL_ATTR_APP_ROW_DESC:
            out = pointerAnswer(stmt.ard);
            return kMsgNone;
        case SQL_ATTR_APP_PARAM_DESC:
            out = pointerAnswer(stmt.apd);
            return kMsgNone;
        case SQL_ATTR_IMP_ROW_DESC:
            out = pointerAnswer(&stmt.ird);
            return kMsgNone;
        case SQL_ATTR_IMP_PARAM_DESC:
            out = pointerAnswer(&stmt.ipd);
            return kMsgNone;
        default:
            return kMsgInvalidAttrId;
    }
}

void storeAnswer(const Answer& answer, SQLPOINTER value, SQLINTEGER* length) {
    switch (answer.kind) {
        case Answer::kUnsigned: {
            const auto v = static_cast<SQLUINTEGER>(answer.number);
            if (value != nullptr) std::memcpy(value, &v, sizeof v);
            if (length != nullptr) *length = SQL_IS_UINTEGER;
            return;
        }
        case Answer::kLength:
            if (value != nullptr) std::memcpy(value, &answer.number, sizeof answer.number);
            if (length != nullptr) *length = SQL_IS_UINTEGER;
            return;
        case Answer::kPointer:
            if (value != nullptr) std::memcpy(value, &answer.pointer, sizeof answer.pointer);
            if (length != nullptr) *length = SQL_IS_POINTER;
            return;
    }
}

// SQLSetScrollOptions' keyset argument as a cursor type.
SQLULEN cursorTypeOf(SQLLEN keyset) {
    switch (keyset) {
        case SQL_SCROLL_KEYSET_DRIVEN:
            return SQL_CURSOR_KEYSET_DRIVEN;
        case SQL_SCROLL_DYNAMIC:
            return SQL_CURSOR_DYNAMIC;
        case SQL_SCROLL_STATIC:
            return SQL_CURSOR_STATIC;
        default:
            return SQL_CURSOR_FORWARD_ONLY;
    }
}

MsgNo setScrollOptions(DriverStatement& stmt, SQLUSMALLINT concurrency, SQLLEN keyset,
                       SQLUSMALLINT rowset) {
    MsgNo warning = kMsgNone;
    const struct {
        SQLUSMALLINT option;
        SQLULEN value;
    } steps[] = {
        {SQL_CONCURRENCY, concurrency},
        keyset < SQL_SCROLL_STATIC || keyset > 0
            ? decltype(steps[0]){SQL_KEYSET_SIZE, static_cast<SQLULEN>(keyset)}
            : decltype(steps[0]){SQL_CURSOR_TYPE, cursorTypeOf(keyset)},
        {SQL_ROWSET_SIZE, rowset},
    };
    for (const auto& step : steps) {
        const MsgNo rc = setStmtOption(stmt, step.option, step.value);
        if (returnCodeFor(rc) == SQL_ERROR) return rc;
        if (rc != kMsgNone) warning = rc;
    }
    return warning;
}

SQLRETURN setStmtAttrCall(SQLHSTMT hstmt, SQLINTEGER attribute, SQLPOINTER value) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) {
        return finish(stmt.diag, setStmtAttr(stmt, attribute, value));
    });
}

SQLRETURN getStmtAttrCall(SQLHSTMT hstmt, SQLINTEGER attribute, SQLPOINTER value,
                          SQLINTEGER* length) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) {
        Answer answer;
        const MsgNo rc = getStmtAttr(stmt, attribute, answer);
        if (rc == kMsgNone) storeAnswer(answer, value, length);
        return finish(stmt.diag, rc);
    });
}

}  // namespace

// No statement attribute is text: the wide twins run the same calls.
KELVRA_EXPORT SQLRETURN SQLSetStmtAttr(SQLHSTMT hstmt, SQLINTEGER Attribute, SQLPOINTER Value,
                                       SQLINTEGER /*StringLength*/) {
    return setStmtAttrCall(hstmt, Attribute, Value);
}

KELVRA_EXPORT SQLRETURN SQLSetStmtAttrW(SQLHSTMT hstmt, SQLINTEGER Attribute, SQLPOINTER Value,
                                        SQLINTEGER /*StringLength*/) {
    return setStmtAttrCall(hstmt, Attribute, Value);
}

KELVRA_EXPORT SQLRETURN SQLGetStmtAttr(SQLHSTMT hstmt, SQLINTEGER Attribute, SQLPOINTER Value,
                                       SQLINTEGER /*BufferLength*/, SQLINTEGER* StringLength) {
    return getStmtAttrCall(hstmt, Attribute, Value, StringLength);
}

KELVRA_EXPORT SQLRETURN SQLGetStmtAttrW(SQLHSTMT hstmt, SQLINTEGER Attribute, SQLPOINTER Value,
                                        SQLINTEGER /*BufferLength*/, SQLINTEGER* StringLength) {
    return getStmtAttrCall(hstmt, Attribute, Value, StringLength);
}

KELVRA_EXPORT SQLRETURN SQLSetStmtOption(SQLHSTMT hstmt, SQLUSMALLINT fOption, SQLULEN vParam) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) {
        return finish(stmt.diag, setStmtOption(stmt, fOption, vParam));
    });
}

KELVRA_EXPORT SQLRETURN SQLGetStmtOption(SQLHSTMT hstmt, SQLUSMALLINT fOption, SQLPOINTER pvParam) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) {
        Answer answer;
        const MsgNo rc = getStmtOption(stmt, fOption, answer.number);
        // The counts are 64-bit; the other options 32-bit.
        const bool wide = fOption == SQL_MAX_ROWS || fOption == SQL_MAX_LENGTH ||
                          fOption == SQL_KEYSET_SIZE || fOption == SQL_ROWSET_SIZE;
        if (!wide) answer.kind = Answer::kUnsigned;
        if (rc == kMsgNone) storeAnswer(answer, pvParam, nullptr);
        return finish(stmt.diag, rc);
    });
}

KELVRA_EXPORT SQLRETURN SQLSetScrollOptions(SQLHSTMT hstmt, SQLUSMALLINT fConcurrency,
                                            SQLLEN crowKeyset, SQLUSMALLINT crowRowset) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) {
        return finish(stmt.diag, setScrollOptions(stmt, fConcurrency, crowKeyset, crowRowset));
    });
}
