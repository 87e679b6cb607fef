#include "qbtable/record_reads.h"

#include <algorithm>
#include <string>

#include "qbapi/qb_session.h"

namespace kelvra {
namespace {

constexpr std::size_t kIdsPerRequest = 100;

// Files the values of a DoQuery reply into a DBID's cache, and the user names it names.
class CacheSink final : public QuerySink {
  public:
    CacheSink(RecordCache& cache, UserNames& users) : cache_(cache), users_(users) {}
    void value(std::int32_t rid, std::int32_t fid, std::string& text) override {
        cache_.storeRead(rid, fid, text);
    }
    void user(std::int32_t uid, std::string& name) override { users_[uid].swap(name); }

  private:
    RecordCache& cache_;
    UserNames& users_;
};

}  // namespace

void queryIntoCache(QbSession& session, TableLayerState& state, std::string_view dbid,
                    RecordCache& cache, std::string_view query, std::string_view slist,
                    std::string_view options) {
    CacheSink sink(cache, state.userNames);
    cache.beginRead();
    session.doQuery(dbid, query, cache.clist(), slist, options, sink);
    if (!session.ok()) cache.abandonRead();
}

MsgNo readRecordsById(QbSession& session, TableLayerState& state, std::string_view dbid,
                      RecordCache& cache, std::span<const std::int32_t> ids) {
    for (std::size_t i = 0; i < ids.size(); i += kIdsPerRequest) {
        std::string query = "{'3'.EX.'";
        for (std::size_t k = i; k < std::min(ids.size(), i + kIdsPerRequest); ++k) {
            if (k > i) query += " OR ";
            query += std::to_string(ids[k]);
        }
        query += "'}";
        queryIntoCache(session, state, dbid, cache, query, "", "");
        if (!session.ok()) return state.failFromSession(session);
    }
    return kMsgNone;
}

}  // namespace kelvra
