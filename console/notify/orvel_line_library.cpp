#include "notify/orvel_line_library.h"

#include <dlfcn.h>
#include <orvel.h>

#include <cstdlib>
#include <cstring>

#include "notify/line_state_reader.h"

namespace orvel {
namespace {

static_assert(sizeof(CallTimeParams) == sizeof(TCallTimeParams));
static_assert(kShortStateWords == ORVEL_LINE_STATE_WORDS);
static_assert(kProgramStateWords >= ORVEL_PROGRAM_STATE_WORDS);
static_assert(kLineStateWords == ORVEL_LINE_STATES_MAX_WORDS);
static_assert(lineSlot(9, 17) == ORVEL_LINE_SLOT(9, 17));

// The full report is looked up when the program starts rather than bound at
// link time: an older library without it still loads, and the program then
// serves the lines the short array describes.
TLineStateReader::FullReportFn findFullReport() {
    return reinterpret_cast<TLineStateReader::FullReportFn>(
        ::dlsym(RTLD_DEFAULT, "GetLineStateEx"));
}

class OrvelLineLibrary final : public ILineLibrary {
public:
    int32_t InitDll(const std::string& d) override { return ::InitDll(d.c_str()); }
    int32_t ShutdownDll() override { return ::ShutdownDll(); }
    int32_t StartDll() override { return ::StartDll(); }
    int32_t StopDll() override { return ::StopDll(); }
    int32_t AssignLine(uint32_t b, uint32_t c) override { return ::AssignLine(b, c); }
    int32_t FreeLine(uint32_t b, uint32_t c) override { return ::FreeLine(b, c); }
    int32_t CallAbonent(uint32_t b, uint32_t c, const std::string& number, int32_t tone,
                        int32_t main, int32_t confirm, int32_t mode) override {
        return ::CallAbonent(b, c, number.c_str(), tone, main, confirm, mode);
    }
    int32_t ListenLine(uint32_t b, uint32_t c, int32_t on) override {
        return ::ListenLine(b, c, on);
    }
    int32_t LoadSoundFile(const std::string& p, int32_t n) override {
        return ::LoadSoundFile(p.c_str(), n);
    }
    int32_t LoadConfirmFile(const std::string& p, int32_t n) override {
        return ::LoadConfirmFile(p.c_str(), n);
    }
    int32_t GetProgrammState(ProgramStateRecord& r) override {
        r.fill(0);
        return ::GetProgrammState(r.data());
    }
    int32_t GetLineState(LineStateArray& s) override { return reader_.read(s); }
    TLineStateCoverage lineStateCoverage() const override { return reader_.coverage(); }
    int32_t SetSensLevel(uint32_t b, uint32_t c, uint32_t l) override {
        return ::SetSensLevel(b, c, l);
    }
    int32_t SetListenLevel(uint32_t b, uint32_t c, uint32_t l) override {
        return ::SetListenLevel(b, c, l);
    }
    void SetConfirmOn(int32_t on) override { ::SetConfirmOn(on); }
    void SetTimeParam(uint32_t b, uint32_t c, const TCallTimeParams& p) override {
        CallTimeParams raw;
        std::memcpy(&raw, &p, sizeof raw);
        ::SetTimeParam(b, c, &raw);
    }
    int32_t logEnable(const std::string& p, int32_t e) override {
        return ::logEnable(p.c_str(), e);
    }
    int32_t SetDtmfLevel(uint32_t b, uint32_t c, uint32_t l) override {
        return ::SetDtmfLevel(b, c, l);
    }
    void AdvancedDtmfConfirmOn(int32_t on) override { ::AdvancedDtmfConfirmOn(on); }
    void dumpEnable(int32_t on) override { ::dumpEnable(on); }
    void setNotifyResultCallback(NotifyResultCallback cb) override {
        ::setNotifyResultCallback(cb);
    }
    int32_t setLineType(uint32_t b, uint32_t c, uint32_t v) override {
        return ::setLineType(b, c, v);
    }
    int32_t setLineDropMode(uint32_t b, uint32_t c, uint32_t v) override {
        return ::setLineDropMode(b, c, v);
    }
    std::string libraryFile() override {
        Dl_info info{};
        if (::dladdr(reinterpret_cast<void*>(&::InitDll), &info) == 0 || !info.dli_fname)
            return {};
        // The loader names the link it followed (liborvel.so.0); the file
        // itself carries the whole version.
        char* real = ::realpath(info.dli_fname, nullptr);
        std::string path = real ? real : info.dli_fname;
        std::free(real);
        return path;
    }

private:
    TLineStateReader reader_{findFullReport(), &::GetLineState};
};

}  // namespace

std::unique_ptr<ILineLibrary> makeOrvelLineLibrary() {
    return std::make_unique<OrvelLineLibrary>();
}

}  // namespace orvel
