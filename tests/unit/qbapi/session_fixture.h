// A session over a scripted channel, with credentials set, and helpers to read what was sent.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "qbapi/qb_session.h"
#include "qbapi/xml_document.h"
#include "scripted_channel.h"

namespace kelvra::test {

inline constexpr const char* kPassword = "pw-Secr3t!";
inline constexpr const char* kTicket = "9_bqz2kx3n4_b8w2_c_d7pvq8xq3g5m2c7ws9k4hdb2ve8";

class SessionTest : public ::testing::Test {
  protected:
    SessionTest() {
        auto channel = std::make_unique<ScriptedChannel>();
        wire = channel.get();
        session = std::make_unique<QbSession>(std::move(channel));
        session->username = "pat@example.com";
        session->password = kPassword;
    }

    // The request document of the n-th request sent.
    std::unique_ptr<XmlDocument> sentDocument(std::size_t n) const {
        auto doc = XmlDocument::parse(wire->sent.at(n).body);
        EXPECT_NE(doc, nullptr) << wire->sent.at(n).body;
        return doc;
    }

    // The element names under the root of the n-th request, in order.
    std::vector<std::string> sentParams(std::size_t n) const {
        std::vector<std::string> names;
        if (auto doc = sentDocument(n)) {
            for (const XmlNode& node : doc->nodes("/qdbapi/*")) names.push_back(node.name());
        }
        return names;
    }

    std::string sentParam(std::size_t n, const std::string& name) const {
        auto doc = sentDocument(n);
        return doc ? doc->text("/qdbapi/" + name) : "";
    }

    // The value of a header of the n-th request; "<absent>" when it was not sent.
    std::string sentHeader(std::size_t n, const std::string& name) const {
        for (const HttpHeader& h : wire->sent.at(n).headers) {
            if (h.name == name) return h.value;
        }
        return "<absent>";
    }

    ScriptedChannel* wire;
    std::unique_ptr<QbSession> session;
};

}  // namespace kelvra::test
