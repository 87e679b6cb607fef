// Reading a large API_DoQuery reply: streamed through Expat into the record map (what the
// driver does), and, for comparison, parsed into a libxml2 document. And a reply holding one
// 16 MB token, arriving in 16 KiB pieces: fed to Expat piece by piece, and through the reply
// stream that gathers pieces into larger blocks (what the driver does).
#include <benchmark/benchmark.h>

#include <string>
#include <string_view>
#include <vector>

#include "qbapi/stream_reader.h"
#include "qbapi/xml_document.h"

namespace {

// A structured reply of `count` records with ten fields each, one of them multi-line text
// and one a file with its URL, as QuickBase sends them.
std::string doQueryReply(int count) {
    std::string xml =
        "<?xml version=\"1.0\" ?>\n<qdbapi>\n<action>API_DoQuery</action>\n<errcode>0</errcode>\n"
        "<errtext>No error</errtext>\n<table><name>Orders</name>\n"
        "<lusers><luser id=\"61523471.ab3c\">Pat Doe</luser></lusers>\n<records>\n";
    for (int rid = 1; rid <= count; ++rid) {
        std::string r = std::to_string(rid);
        xml += "<record>\n<f id=\"3\">" + r + "</f>\n<f id=\"6\">Customer " + r +
               " &amp; Sons</f>\n<f id=\"7\">Open</f>\n<f id=\"8\">1250.75</f>\n"
               "<f id=\"9\">1704326400000</f>\n<f id=\"10\">61523471.ab3c</f>\n"
               "<f id=\"11\">First line<BR/>Second line, Z\xc3\xbcrich<BR/>Third</f>\n"
               "<f id=\"12\">contract.pdf<url>https://acme.quickbase.com/up/bqx7m2ab4/a/r" +
               r + "/e12/v0</url></f>\n<f id=\"13\">1</f>\n<f id=\"14\"/>\n</record>\n";
    }
    xml += "</records>\n</table>\n</qdbapi>\n";
    return xml;
}

void streamDoQuery(benchmark::State& state) {
    std::string reply = doQueryReply(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        kelvra::QueryResult result;
        kelvra::QueryReader reader(result);
        std::string detail;
        if (kelvra::streamXml(reply, reader, detail) != kelvra::StreamOutcome::parsed ||
            result.records.size() != static_cast<std::size_t>(state.range(0))) {
            state.SkipWithError("the reply did not stream");
            break;
        }
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(reply.size()));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(streamDoQuery)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void parseDoQueryDocument(benchmark::State& state) {
    std::string reply = doQueryReply(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto doc = kelvra::XmlDocument::parse(reply);
        if (!doc) {
            state.SkipWithError("the reply did not parse");
            break;
        }
        benchmark::DoNotOptimize(doc);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(reply.size()));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(parseDoQueryDocument)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// A GrantedDBs reply whose one element carries a 16 MB attribute.
std::string longTokenReply() {
    return "<qdbapi><errcode>0</errcode><databases><dbinfo note=\"" + std::string(16u << 20, 'x') +
           "\"/></databases></qdbapi>";
}

constexpr std::size_t kNetworkPiece = 16u << 10;

void longTokenFedAsDelivered(benchmark::State& state) {
    const std::string reply = longTokenReply();
    for (auto _ : state) {
        std::vector<kelvra::DbInfo> list;
        kelvra::GrantedReader reader(list);
        kelvra::XmlStream xml(reader);
        xml.begin();
        for (std::size_t at = 0; at < reply.size(); at += kNetworkPiece) {
            xml.feed(std::string_view(reply).substr(at, kNetworkPiece));
        }
        std::string detail;
        if (xml.finish(detail) != kelvra::StreamOutcome::parsed || list.size() != 1) {
            state.SkipWithError("the reply did not stream");
            break;
        }
    }
}
BENCHMARK(longTokenFedAsDelivered)->Unit(benchmark::kMillisecond)->Iterations(1);

void longTokenThroughReplyStream(benchmark::State& state) {
    const std::string reply = longTokenReply();
    for (auto _ : state) {
        std::vector<kelvra::DbInfo> list;
        kelvra::GrantedReader reader(list);
        kelvra::XmlStream xml;
        kelvra::ReplyStream stream(reader, xml);
        stream.start();
        for (std::size_t at = 0; at < reply.size(); at += kNetworkPiece) {
            stream.piece(std::string_view(reply).substr(at, kNetworkPiece));
        }
        std::string detail;
        if (stream.finish(detail) != kelvra::StreamOutcome::parsed || list.size() != 1) {
            state.SkipWithError("the reply did not stream");
            break;
        }
    }
}
BENCHMARK(longTokenThroughReplyStream)->Unit(benchmark::kMillisecond);

}  // namespace
