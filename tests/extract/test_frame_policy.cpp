// Every choice of the extraction frame, through a small extractor whose
// "archive" is a file of member data and whose directory is a list in
// memory: the paths the families need are proven here, apart from any format.
#include <sys/stat.h>

#include <filesystem>

#include "archive/core/Crc.h"
#include "tests/support/ExtractFixture.h"

namespace fs = std::filesystem;

namespace {

struct FakeMember {
    FakeMember(std::string n, std::string d = "", TMemberDesc::Kind k = TMemberDesc::Kind::File,
               std::string l = "", bool bad = false, bool enc = false)
        : name(std::move(n)), data(std::move(d)), kind(k), link(std::move(l)), badCheck(bad),
          encrypted(enc) {}
    std::string name;
    std::string data;
    TMemberDesc::Kind kind = TMemberDesc::Kind::File;
    std::string link;
    bool badCheck = false;
    bool encrypted = false;
};

constexpr fmt::MethodInfo kFakeMethods[] = {{0, "Stored", fmt::Codec::Stored, 0},
                                            {9, "Unknown", fmt::Codec::None, 0}};

// One header byte, the password's first character; data XORed with it.
class FakeCipher : public TMemberCipher {
public:
    std::size_t HeaderSize() const override { return 1; }
    bool TryPassword(const std::string& pw, const std::uint8_t* header,
                     const TMemberDesc&) override {
        key_ = pw.empty() ? 0 : static_cast<std::uint8_t>(pw[0]);
        return !pw.empty() && header[0] == key_;
    }
    void decrypt(std::uint8_t* buf, std::size_t n) override {
        for (std::size_t i = 0; i < n; ++i) buf[i] ^= key_;
    }

private:
    std::uint8_t key_ = 0;
};

class FakeExtractor : public TUnBase {
public:
    FakeExtractor(TFramePolicy p, std::vector<FakeMember> members)
        : TUnBase(nullptr, p), members_(std::move(members)) {}

    // The archive file: each member's data in turn, encrypted members
    // behind their one-byte header.
    std::string bytes() const {
        std::string all;
        for (const auto& m : members_) {
            if (m.encrypted) {
                all += 'k';
                for (char c : m.data) all += static_cast<char>(c ^ 'k');
            } else {
                all += m.data;
            }
        }
        return all;
    }
    int attributeCalls = 0;

protected:
    bool AcceptsArcType(TArcType) const override { return true; }
    std::span<const fmt::MethodInfo> Methods() const override { return kFakeMethods; }
    void ExtractMembers() override {
        Activated();
        std::int64_t offset = 0;
        for (const auto& f : members_) {
            TMemberDesc m;
            m.StoredName = f.name;
            m.Type = f.kind;
            m.LinkTarget = f.link;
            m.Method = f.name.find(".unk") != std::string::npos ? 9 : 0;
            m.Encrypted = f.encrypted;
            m.PackedSize = f.data.size() + (f.encrypted ? 1 : 0);
            m.UnpackedSize = f.data.size();
            m.StoredCrc =
                crc32Of(reinterpret_cast<const std::uint8_t*>(f.data.data()), f.data.size()) ^
                (f.badCheck ? 1u : 0u);
            if (Policy().Verdict == TVerdict::Crc32NoComplement) m.StoredCrc ^= 0xFFFFFFFFu;
            if (Policy().Verdict == TVerdict::Crc16) {
                std::uint16_t c = 0;
                Crc16Update(reinterpret_cast<const std::uint8_t*>(f.data.data()), f.data.size(), c);
                m.StoredCrc = c ^ (f.badCheck ? 1u : 0u);
            }
            m.ModificationTime = 1000000000;
            m.DataOffset = offset;
            offset += static_cast<std::int64_t>(m.PackedSize);
            if (ProcessMember(m) == Next::Stop) break;
        }
    }
    TMemberCipher* MemberCipher(const TMemberDesc&) override { return &cipher_; }
    void RestoreAttributes(int, const TMemberDesc&) override { ++attributeCalls; }

private:
    std::vector<FakeMember> members_;
    FakeCipher cipher_;
};

class FramePolicy : public ExtractFixture {
protected:
    std::unique_ptr<FakeExtractor> make(TFramePolicy p, std::vector<FakeMember> members,
                                        bool fresh = true) {
        if (fresh) fs::remove_all(out);
        auto x = std::make_unique<FakeExtractor>(p, std::move(members));
        const std::string s = x->bytes();
        prepare(*x, write(std::vector<std::uint8_t>(s.begin(), s.end()), "fake.bin"));
        return x;
    }
    std::vector<std::string> run(TFramePolicy p, std::vector<FakeMember> members,
                                 const std::string& spec = "*.*", bool fresh = true) {
        log.clear();
        errors.clear();
        auto x = make(p, std::move(members), fresh);
        x->SetFileSpec(spec);
        x->Extract();
        stop = x->StopCode;
        return log;
    }
    int stop = 0;
};

using P = TFramePolicy;

} // namespace

TEST_F(FramePolicy, VerdictKinds) {
    for (TVerdict v :
         {TVerdict::Crc32, TVerdict::Crc32NoComplement, TVerdict::Crc16, TVerdict::AlwaysPass}) {
        P p;
        p.Verdict = v;
        auto l =
            run(p, {{"good.txt", "abc"}, {"bad.txt", "xyz", TMemberDesc::Kind::File, "", true}});
        const bool always = v == TVerdict::AlwaysPass;
        std::vector<std::string> want = {"activate",
                                         "begin good.txt 1",
                                         "end good.txt pass",
                                         "begin bad.txt 2",
                                         always ? "end bad.txt pass" : "end bad.txt fail",
                                         "deactivate"};
        EXPECT_EQ(l, want) << static_cast<int>(v);
    }
}

TEST_F(FramePolicy, UnselectedAndDeclinedMembers) {
    for (auto u : {P::Unselected::Silent, P::Unselected::Reported}) {
        P p;
        p.OnUnselected = u;
        run(p, {{"a.txt", "1"}, {"b.doc", "2"}}, "*.txt");
        EXPECT_EQ(errors, u == P::Unselected::Reported ? std::vector<int>{err::SkippedFile}
                                                       : std::vector<int>{});
    }
    for (auto d : {P::Declined::EndPass, P::Declined::Silent, P::Declined::Reported}) {
        P p;
        p.OnDeclined = d;
        auto x = make(p, {{"a.txt", "1"}});
        log.clear();
        errors.clear();
        x->OnBegin = [&](TObject*, const std::string&, int, bool& extract) { extract = false; };
        x->Extract();
        const bool ended = std::find(log.begin(), log.end(), "end a.txt pass") != log.end();
        EXPECT_EQ(ended, d == P::Declined::EndPass);
        EXPECT_EQ(errors.size(), d == P::Declined::Reported ? 1u : 0u);
        EXPECT_FALSE(fs::exists(out + "/a.txt"));
    }
}

TEST_F(FramePolicy, EventOrderAndPlainSpecs) {
    for (auto order : {P::Order::ExistsThenBegin, P::Order::BeginThenExists}) {
        fs::create_directories(out);
        testsupport::writeFile(out + "/a.txt", std::string("old"));
        P p;
        p.EventOrder = order;
        auto l = run(p, {{"a.txt", "new"}}, "*.*", false);
        const auto e = std::find(l.begin(), l.end(), "exists a.txt");
        const auto b = std::find(l.begin(), l.end(), "begin a.txt 1");
        ASSERT_NE(e, l.end());
        EXPECT_EQ(e < b, order == P::Order::ExistsThenBegin);
    }
    struct Case {
        P::PlainSpec rule;
        std::string spec;
        int extracted;
    } cases[] = {{P::PlainSpec::StopAfterOne, "a.txt", 1},
                 {P::PlainSpec::StopAfterOne, "?.txt", 3},
                 {P::PlainSpec::StopAfterOneStarOnly, "?.txt", 1},
                 {P::PlainSpec::StopAfterOneStarOnly, "*.txt", 3},
                 {P::PlainSpec::SelectAll, "a.txt", 2}};
    for (const auto& c : cases) {
        P p;
        p.OnPlainSpec = c.rule;
        auto l = run(p, {{"a.txt", "1"}, {"b.txt", "2"}, {"a.txt", "3"}}, c.spec);
        EXPECT_EQ(std::count_if(l.begin(), l.end(), [](auto& s) { return s.rfind("end", 0) == 0; }),
                  c.extracted)
            << c.spec;
    }
}

TEST_F(FramePolicy, RestoresNothingToDoAndUndecodableMethods) {
    for (auto r : {P::Restore::Time, P::Restore::TimeAndAttributes}) {
        P p;
        p.Restores = r;
        auto x = make(p, {{"a.txt", "1"}});
        x->Extract();
        EXPECT_EQ(x->attributeCalls, r == P::Restore::TimeAndAttributes ? 1 : 0);
        struct stat st;
        ASSERT_EQ(stat((out + "/a.txt").c_str(), &st), 0);
        EXPECT_EQ(st.st_mtime, 1000000000);
    }
    for (bool nothing : {false, true}) {
        P p;
        p.NothingToDoAtEnd = nothing;
        run(p, {{"a.txt", "1"}}, "*.doc");
        EXPECT_EQ(stop, nothing ? err::NothingToDo : 0);
    }
    run(P{}, {{"x.unk", "1"}, {"a.txt", "2"}});
    EXPECT_EQ(stop, err::UnsupportedMethod);
    EXPECT_FALSE(fs::exists(out + "/x.unk"));
}

TEST_F(FramePolicy, TargetsThatCannotBeCreated) {
    for (auto f :
         {P::CreateFailure::Stop, P::CreateFailure::StopReported, P::CreateFailure::SkipReported}) {
        fs::remove_all(out);
        fs::create_directories(out + "/a.txt"); // a folder where the file should go
        P p;
        p.OnCreateFailure = f;
        run(p, {{"a.txt", "1"}, {"b.txt", "2"}}, "*.*", false);
        EXPECT_EQ(fs::exists(out + "/b.txt"), f == P::CreateFailure::SkipReported);
        EXPECT_EQ(stop, f == P::CreateFailure::SkipReported ? 0 : err::OpenError);
        EXPECT_EQ(errors, f == P::CreateFailure::Stop ? std::vector<int>{}
                                                      : std::vector<int>{err::OpenError});
    }
}

TEST_F(FramePolicy, FoldersLinksAndLabels) {
    run(P{}, {{"dir/", "", TMemberDesc::Kind::Folder},
              {"vol", "", TMemberDesc::Kind::Label},
              {"dir/a.txt", "alpha"},
              {"dir/soft", "", TMemberDesc::Kind::Symlink, "a.txt"},
              {"hard", "", TMemberDesc::Kind::HardLink, "dir/a.txt"},
              {"escape", "", TMemberDesc::Kind::HardLink, "../../etc/passwd"}});
    EXPECT_TRUE(fs::is_directory(out + "/dir"));
    EXPECT_FALSE(fs::exists(out + "/vol"));
    EXPECT_EQ(fs::read_symlink(out + "/dir/soft"), "a.txt");
    EXPECT_EQ(slurp("hard"), "alpha");
    EXPECT_EQ(fs::hard_link_count(out + "/hard"), 2u);
    EXPECT_FALSE(fs::exists(out + "/escape")) << "a link target is confined like any name";
}

TEST_F(FramePolicy, EncryptedMembersThroughTheFamilysCipher) {
    auto x = make(P{}, {{"s.txt", "secret", TMemberDesc::Kind::File, "", false, true}});
    int asked = 0;
    x->OnGetPassword = [&](TObject*, const std::string&, std::string& pw, bool&) {
        pw = ++asked == 1 ? "wrong" : "key";
    };
    x->Extract();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(errors, std::vector<int>{err::InvalidPassword});
    EXPECT_EQ(slurp("s.txt"), "secret");
}
