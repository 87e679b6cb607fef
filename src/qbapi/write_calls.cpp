// The calls that change data: single records with their field parameters and attachments,
// CSV imports, purges, and the record ids of a query.
#include "qbapi/base64.h"
#include "qbapi/decimal_text.h"
#include "qbapi/qb_session.h"

namespace kelvra {

bool QbSession::addFields(const XmlDocument& schema, const FieldValues& values,
                          bool valuesAreContent) {
    for (const auto& [fid, value] : values) {
        std::string fidText = std::to_string(fid);
        bool isFile =
            schema.has("/*/table/fields/field[@id=" + fidText + "][@field_type = 'file']");
        if (!isFile) {
            addFieldParam(fid, value, "");
        } else if (valuesAreContent) {
            addFieldParam(fid, value, "FileAttachment." + fidText);
        } else {
            std::string content;
            if (!readFileBase64(value, content)) {
                setError("15", "File not found", "Could not open file: '" + value + "'.");
                return false;
            }
            addFieldParam(fid, content, value);
        }
    }
    return true;
}

std::string QbSession::addRecord(std::string_view dbid, const FieldValues& values,
                                 bool valuesAreContent) {
    return guarded(std::string(), [&] {
        // The schema comes first: fetching it uses the request document too.
        const XmlDocument* schema = getSchema(dbid);
        if (schema == nullptr) return std::string();
        beginRequest();
        if (!addFields(*schema, values, valuesAreContent)) return std::string();
        callApi(dbid, "API_AddRecord");
        return ok() ? replyDocument_->text("/*/rid") : std::string();
    });
}

std::string QbSession::editRecord(std::string_view dbid, std::string_view rid,
                                  const FieldValues& values, bool valuesAreContent) {
    return guarded(std::string(), [&] {
        const XmlDocument* schema = getSchema(dbid);
        if (schema == nullptr) return std::string();
        beginRequest();
        if (!addFields(*schema, values, valuesAreContent)) return std::string();
        addParam("rid", rid);
        callApi(dbid, "API_EditRecord");
        return ok() ? replyDocument_->text("/*/num_fields_changed") : std::string();
    });
}

void QbSession::importFromCsv(std::string_view dbid, std::string_view csvText,
                              std::string_view clist) {
    guarded(0, [&] {
        beginRequest();
        // A text node rather than CDATA: XML turns every CR LF inside CDATA into LF, which
        // would change values; in a text node the CR is written as a character reference.
        addParam("records_csv", csvText);
        addParam("clist", clist);
        // Percentages are read and written as fractions (0.25 for 25 %).
        addParam("decimalPercent", "1");
        return callApi(dbid, "API_ImportFromCSV");
    });
}

void QbSession::purgeRecords(std::string_view dbid, std::string_view query) {
    guarded(0, [&] {
        beginRequest();
        addParam("query", query);
        return postToTable(dbid, "API_PurgeRecords", true);
    });
}

void QbSession::recordIds(std::string_view dbid, std::string_view query, std::string_view slist,
                          std::string_view queryOptions) {
    guarded(0, [&] {
        recordIdList.clear();
        genResultsTable(dbid, query, "3", slist, std::string(queryOptions) + ".csv");
        if (!ok()) return 0;
        // One id per carriage-return-separated piece: the header line gives 0, a trailing
        // empty piece -1; line feeds are skipped as non-digits.
        std::string_view text = reply_.body;
        while (true) {
            std::size_t cr = text.find('\r');
            recordIdList.push_back(readRecordIdLine(text.substr(0, cr)));
            if (cr == std::string_view::npos) break;
            text.remove_prefix(cr + 1);
        }
        return 0;
    });
}

}  // namespace kelvra
