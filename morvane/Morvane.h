// CMorvane: the data store of the burden-distribution model.
//
// One object is both the host's handle on the plant database and the exchange area
// between host and database: the host sets input members, calls an operation, and
// reads the output members. The member layout below is part of the library's
// interface (hosts compile against it and read members in place), so the order and
// type of every member, the spare ones included, must never change; the checks at
// the end of this header make the compiler refuse any drift.
//
// Status of the query operations: 1 done, 0 a query found no row, -1 a database call
// failed and the failure was shown in a message box.
//
// Threads: separate CMorvane objects work on separate threads at once; one object is
// used by one thread at a time. Copies share the original's connection and count as
// one object with it. Each thread calls CoInitialize before its first database call
// (CMorvane does not) and destroys its objects before its CoUninitialize.
#pragma once

#include <cstddef>
#include <cstdint>

#include <dbplatform/dbplatform.h>
#include <dbplatform/base/Export.h>

DBPLATFORM_PUBLIC_BEGIN

class CMorvane {
public:
    CMorvane();
    CMorvane(const CMorvane& other);
    virtual ~CMorvane();
    CMorvane& operator=(const CMorvane& other);

    // Opens the connection described by m_bstrDbType ("MicroSoft Access" or "Oracle9i"),
    // m_bstrDataSource, m_bstrUserID and m_bstrPassword. 1 connected, 0 otherwise.
    int Connect();

    // The newest charge recorded after the newest stored result, and the newest gauge reading.
    int DumpSelectNewBD();
    // The charge recorded at m_szBDTime.
    int DumpSelectBD();
    // The number of processed charges and the 30 earliest of them.
    int DumpGetRecent();
    // The gauge reading recorded last before m_szBDTime.
    int DumpGetException();
    // The material constants of m_nMaterialCode; returns m_nOCFlag. No database access.
    int SkipSelectNewBD();

    // The chute-angle record in force before `time`.
    int AngleSelectNew(char* const time);
    // Writes values[0..70] into SEQ_0..SEQ_70 of the furnace-result row `burdenId`.
    int AngleUpdate(double* const values, int burdenId);
    // Reads up to 11 furnace-result rows into m_dFurnaceSeq.
    int TraceSelect();

    // Reads up to 30 stored results (earliest first) into the result-row buffers.
    int ResultGetBurdenDis();
    // Stores the result row of m_szBDTime (unless one exists).
    int ResultInsertBD();
    // Replaces the 250 profile values of the result row of m_szBDTime.
    int ResultUpdateBD();
    // Resets the result table to one standard row at the earliest charge.
    int ResultStandBD();
    // Removes the result row of m_szBDTime.
    int ResultDeleteBD();

    // ---- Members, in their interface order ----
    _ConnectionPtr m_pConnection;
    _RecordsetPtr m_pRecordset;
    std::int32_t m_nSpare1{};
    _bstr_t m_bstrDbType;
    _bstr_t m_bstrDataSource;
    _bstr_t m_bstrUserID;
    _bstr_t m_bstrPassword;
    std::int32_t m_nSpare2{};
    std::int32_t m_nSpare3{};
    std::int32_t m_nSpare4{};
    std::int32_t m_nSpare5{};
    std::int32_t m_nSpare6{};
    std::int32_t m_nSpare7{};
    std::int32_t m_nRecordCount{};
    std::int32_t m_nResultColumns{};
    std::int32_t m_nResultMaterial[30]{};
    double m_dSpareRow1[30]{};
    double m_dSpare1{};
    std::int32_t m_nSpare8{};
    char m_szResultTime[30][20]{};
    std::int32_t m_nResultCharge[30]{};
    std::int32_t m_nSpareRow2[30]{};
    std::int32_t m_nResultLeftPoint[30]{};
    double m_dResultSeq[250][30]{};
    char m_szBDTime[20]{};
    std::int32_t m_nNewCharge{};
    std::int32_t m_nBDMaterial{};
    double m_dBDLeftPoint{};
    double m_dBDSeq[250]{};
    float m_fAngleWeight[11]{};
    std::int32_t m_nOCFlag{};
    std::int32_t m_nMaterialCode{};
    char m_szSpare1[20]{};
    double m_dMaterialDensity{};
    double m_dMaterialAngle{};
    char m_szNewTime[20]{};
    std::int32_t m_nRecentCharge[30]{};
    std::int32_t m_nSpare9{};
    char m_szSpare2[20]{};
    char m_szRecentTime[30][20]{};
    std::int32_t m_nSpare10{};
    std::int32_t m_nSpare11{};
    char m_szSpareRows[30][20]{};
    std::int32_t m_nSpareTable[11]{};
    std::int32_t m_nSpare12{};
    double m_dFurnaceSeq[71][11]{};
    double m_dChuteAngle[11]{};
    double m_dRecentWeight[11][30]{};
    double m_dRulerHeight[3]{};
    double m_dSpareRow3[30]{};
    double m_dSpareRow4[30]{};
    double m_dSpare2{};
};

// ---- Compile-time checks of the interface layout ----
// offsetof on a class with a virtual function is conditionally supported; GCC and Clang
// give the plain member offsets, which is exactly what a host relies on.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
#endif
namespace morvane_layout {
inline constexpr std::size_t kOffsets[] = {
    offsetof(CMorvane, m_pConnection),     offsetof(CMorvane, m_pRecordset),
    offsetof(CMorvane, m_nSpare1),         offsetof(CMorvane, m_bstrDbType),
    offsetof(CMorvane, m_bstrDataSource),  offsetof(CMorvane, m_bstrUserID),
    offsetof(CMorvane, m_bstrPassword),    offsetof(CMorvane, m_nSpare2),
    offsetof(CMorvane, m_nSpare3),         offsetof(CMorvane, m_nSpare4),
    offsetof(CMorvane, m_nSpare5),         offsetof(CMorvane, m_nSpare6),
    offsetof(CMorvane, m_nSpare7),         offsetof(CMorvane, m_nRecordCount),
    offsetof(CMorvane, m_nResultColumns),  offsetof(CMorvane, m_nResultMaterial),
    offsetof(CMorvane, m_dSpareRow1),      offsetof(CMorvane, m_dSpare1),
    offsetof(CMorvane, m_nSpare8),         offsetof(CMorvane, m_szResultTime),
    offsetof(CMorvane, m_nResultCharge),   offsetof(CMorvane, m_nSpareRow2),
    offsetof(CMorvane, m_nResultLeftPoint), offsetof(CMorvane, m_dResultSeq),
    offsetof(CMorvane, m_szBDTime),        offsetof(CMorvane, m_nNewCharge),
    offsetof(CMorvane, m_nBDMaterial),     offsetof(CMorvane, m_dBDLeftPoint),
    offsetof(CMorvane, m_dBDSeq),          offsetof(CMorvane, m_fAngleWeight),
    offsetof(CMorvane, m_nOCFlag),         offsetof(CMorvane, m_nMaterialCode),
    offsetof(CMorvane, m_szSpare1),        offsetof(CMorvane, m_dMaterialDensity),
    offsetof(CMorvane, m_dMaterialAngle),  offsetof(CMorvane, m_szNewTime),
    offsetof(CMorvane, m_nRecentCharge),   offsetof(CMorvane, m_nSpare9),
    offsetof(CMorvane, m_szSpare2),        offsetof(CMorvane, m_szRecentTime),
    offsetof(CMorvane, m_nSpare10),        offsetof(CMorvane, m_nSpare11),
    offsetof(CMorvane, m_szSpareRows),     offsetof(CMorvane, m_nSpareTable),
    offsetof(CMorvane, m_nSpare12),        offsetof(CMorvane, m_dFurnaceSeq),
    offsetof(CMorvane, m_dChuteAngle),     offsetof(CMorvane, m_dRecentWeight),
    offsetof(CMorvane, m_dRulerHeight),    offsetof(CMorvane, m_dSpareRow3),
    offsetof(CMorvane, m_dSpareRow4),      offsetof(CMorvane, m_dSpare2),
};
constexpr bool Ascending() {
    for (std::size_t i = 1; i < sizeof(kOffsets) / sizeof(kOffsets[0]); ++i)
        if (kOffsets[i] <= kOffsets[i - 1]) return false;
    return true;
}
static_assert(sizeof(kOffsets) / sizeof(kOffsets[0]) == 52, "CMorvane has 52 data members");
static_assert(Ascending(), "CMorvane members must stay in their interface order");
// The virtual table pointer comes first; nothing sits between it and the members.
static_assert(offsetof(CMorvane, m_pConnection) == sizeof(void*), "only the destructor is virtual");
}  // namespace morvane_layout
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

static_assert(sizeof(_ConnectionPtr) == sizeof(void*) && sizeof(_RecordsetPtr) == sizeof(void*),
              "handles hold one reference each");
static_assert(sizeof(_bstr_t) == sizeof(void*), "wide texts hold one shared buffer each");
static_assert(sizeof(std::int32_t) == 4 && sizeof(float) == 4 && sizeof(double) == 8, "int32, single, double");
static_assert(sizeof(CMorvane::m_nResultMaterial) == 30 * 4 && sizeof(CMorvane::m_dSpareRow1) == 30 * 8);
static_assert(sizeof(CMorvane::m_szResultTime) == 30 * 20 && sizeof(CMorvane::m_szResultTime[0]) == 20);
static_assert(sizeof(CMorvane::m_nResultCharge) == 30 * 4 && sizeof(CMorvane::m_nSpareRow2) == 30 * 4);
static_assert(sizeof(CMorvane::m_nResultLeftPoint) == 30 * 4);
static_assert(sizeof(CMorvane::m_dResultSeq) == 250 * 30 * 8 && sizeof(CMorvane::m_dResultSeq[0]) == 30 * 8);
static_assert(sizeof(CMorvane::m_szBDTime) == 20 && sizeof(CMorvane::m_dBDSeq) == 250 * 8);
static_assert(sizeof(CMorvane::m_fAngleWeight) == 11 * 4);
static_assert(sizeof(CMorvane::m_szSpare1) == 20 && sizeof(CMorvane::m_szNewTime) == 20);
static_assert(sizeof(CMorvane::m_nRecentCharge) == 30 * 4 && sizeof(CMorvane::m_szSpare2) == 20);
static_assert(sizeof(CMorvane::m_szRecentTime) == 30 * 20 && sizeof(CMorvane::m_szSpareRows) == 30 * 20);
static_assert(sizeof(CMorvane::m_nSpareTable) == 11 * 4);
static_assert(sizeof(CMorvane::m_dFurnaceSeq) == 71 * 11 * 8 && sizeof(CMorvane::m_dFurnaceSeq[0]) == 11 * 8);
static_assert(sizeof(CMorvane::m_dChuteAngle) == 11 * 8);
static_assert(sizeof(CMorvane::m_dRecentWeight) == 11 * 30 * 8 && sizeof(CMorvane::m_dRecentWeight[0]) == 30 * 8);
static_assert(sizeof(CMorvane::m_dRulerHeight) == 3 * 8);
static_assert(sizeof(CMorvane::m_dSpareRow3) == 30 * 8 && sizeof(CMorvane::m_dSpareRow4) == 30 * 8);

DBPLATFORM_PUBLIC_END
