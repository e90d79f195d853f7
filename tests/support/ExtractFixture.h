// A temporary folder with an archive in it, an extractor of any family
// pointed at it and a log of every event the extractor raises.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <memory>

#include "archive/extract/Extractors.h"
#include "tests/support/TempDir.h"

class ExtractFixture : public ::testing::Test {
protected:
    void SetUp() override {
        char buf[4096];
        if (getcwd(buf, sizeof buf)) savedCwd_ = buf;
        out = tmp / "out";
    }
    void TearDown() override {
        if (!savedCwd_.empty() && chdir(savedCwd_.c_str()) != 0) ADD_FAILURE() << "chdir";
    }

    std::string write(const std::vector<std::uint8_t>& bytes, const std::string& name = "a.zip") {
        std::string path = tmp / name;
        testsupport::writeFile(path, bytes);
        return path;
    }

    // The registered extractor for an archive, pointed at it, its events logged.
    std::unique_ptr<TUnBase> extractorFor(const std::string& archive) {
        TZipCommon probe;
        probe.SetArchiveFile(archive);
        auto x = ExtractorTable::instance().make(probe.ArcType());
        if (x) prepare(*x, archive);
        return x;
    }

    // Points the extractor at an archive and logs its events.
    void prepare(TUnBase& z, const std::string& archive) {
        z.SetArchiveFile(archive);
        z.SetExtractDir(out);
        z.OnActivate = [this](TObject*) { log.push_back("activate"); };
        z.OnDeactivate = [this](TObject*) { log.push_back("deactivate"); };
        z.OnBegin = [this](TObject*, const std::string& fn, int rec, bool&) {
            log.push_back("begin " + rel(fn) + " " + std::to_string(rec));
        };
        z.OnEnd = [this](TObject*, const std::string& fn, bool pass) {
            log.push_back("end " + rel(fn) + (pass ? " pass" : " fail"));
        };
        z.OnError = [this](TObject*, const std::string& fn, const std::string&, int code) {
            log.push_back("error " + std::to_string(code) + " " + fn);
            errors.push_back(code);
        };
        z.OnFileExists = [this](TObject*, const std::string& fn, TDateTime, bool& accept) {
            log.push_back("exists " + rel(fn));
            accept = acceptExisting;
        };
    }

    std::string rel(const std::string& fn) const {
        std::string root = out + "/";
        return fn.compare(0, root.size(), root) == 0 ? fn.substr(root.size()) : fn;
    }

    std::string slurp(const std::string& relPath) {
        auto v = testsupport::readFile(out + "/" + relPath);
        return std::string(v.begin(), v.end());
    }

    testsupport::TempDir tmp;
    std::string out;
    std::vector<std::string> log;
    std::vector<int> errors;
    bool acceptExisting = true;

private:
    std::string savedCwd_;
};
