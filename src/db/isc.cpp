#include "db/isc.h"

#include "db/value_text.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

bool IsLostConnectionCode(ISC_STATUS code)
{
    switch (code) {
    case isc_network_error:
    case isc_net_read_err:
    case isc_net_write_err:
    case isc_lost_db_connection:
    case isc_conn_lost:
    case isc_shutdown:
    case isc_att_shutdown:
        return true;
    default:
        return false;
    }
}

std::string Interpret(const ISC_STATUS* status)
{
    std::string text;
    const ISC_STATUS* cursor = status;
    char buffer[1024];
    while (fb_interpret(buffer, sizeof buffer, &cursor) > 0) {
        if (!text.empty()) text += '\n';
        text += buffer;
    }
    return text.empty() ? std::string("Firebird error") : text;
}

bool AnyLostConnectionCode(const ISC_STATUS* status)
{
    for (int i = 0; i + 1 < ISC_STATUS_LENGTH && status[i] != isc_arg_end;) {
        const ISC_STATUS kind = status[i];
        if (kind == isc_arg_gds && IsLostConnectionCode(status[i + 1])) return true;
        // Every argument is a kind and a value, except counted strings, which take two values.
        i += kind == isc_arg_cstring ? 3 : 2;
    }
    return false;
}

// Runs a client library call and turns a failure into a DbError.
template <typename Call>
void Check(const std::string& statement, Call call)
{
    ISC_STATUS_ARRAY status{};
    call(status);
    if (status[0] == 1 && status[1] != 0) throw DbError(status, statement);
}

std::string ScaledInteger(int64_t value, int scale)
{
    const bool negative = value < 0;
    const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    std::string digits = std::to_string(magnitude);
    if (scale < 0) {
        const size_t places = static_cast<size_t>(-scale);
        if (digits.size() <= places) digits = std::string(places - digits.size() + 1, '0') + digits;
        digits = digits.substr(0, digits.size() - places) + "." + digits.substr(digits.size() - places);
    } else {
        digits.append(static_cast<size_t>(scale), '0');
    }
    return negative ? "-" + digits : digits;
}

std::string FormatTime(const std::tm& t, bool date, bool time)
{
    char buffer[96];
    if (date && time)
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                      t.tm_hour, t.tm_min, t.tm_sec);
    else if (date)
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
    else
        std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec);
    return buffer;
}

// Column buffers carry no alignment promise, so values are copied out.
template <typename T>
T Load(const char* data)
{
    T value;
    std::memcpy(&value, data, sizeof value);
    return value;
}

XSQLDA* AsSqlda(std::vector<char>& storage) { return reinterpret_cast<XSQLDA*>(storage.data()); }
const XSQLDA* AsSqlda(const std::vector<char>& storage) { return reinterpret_cast<const XSQLDA*>(storage.data()); }

}  // namespace

DbError::DbError(const ISC_STATUS* status, const std::string& statement)
    : std::runtime_error(Interpret(status)),
      Engine(status[1]),
      Sql(static_cast<int>(isc_sqlcode(status))),
      StatementText(statement),
      Lost(AnyLostConnectionCode(status))
{
}

ParameterBlock& ParameterBlock::Add(char item, const std::string& value)
{
    Bytes.push_back(item);
    Bytes.push_back(static_cast<char>(value.size()));
    Bytes.insert(Bytes.end(), value.begin(), value.end());
    return *this;
}

ParameterBlock& ParameterBlock::Add(char item)
{
    Bytes.push_back(item);
    return *this;
}

Attachment::~Attachment()
{
    if (Handle == 0) return;
    ISC_STATUS_ARRAY status{};
    isc_detach_database(status, &Handle);
}

void Attachment::Attach(const std::string& path, const ParameterBlock& dpb)
{
    Check({}, [&](ISC_STATUS* status) {
        isc_attach_database(status, 0, path.c_str(), &Handle, dpb.Size(), dpb.Data());
    });
}

void Attachment::CreateByStatement(const std::string& statement)
{
    isc_tr_handle noTransaction = 0;
    Check(statement, [&](ISC_STATUS* status) {
        isc_dsql_execute_immediate(status, &Handle, &noTransaction, 0, statement.c_str(), SQL_DIALECT_V6, nullptr);
    });
}

void Attachment::Ping()
{
    Check({}, [&](ISC_STATUS* status) { fb_ping(status, &Handle); });
}

void Attachment::Detach()
{
    if (Handle == 0) return;
    ISC_STATUS_ARRAY status{};
    isc_detach_database(status, &Handle);
    // A failed detach still leaves nothing this program could use.
    Handle = 0;
}

Transaction::~Transaction()
{
    if (Handle == 0) return;
    ISC_STATUS_ARRAY status{};
    isc_rollback_transaction(status, &Handle);
}

namespace {

// The wait items of a parameter block: wait until released, for a second, or not at all.
void AddWait(ParameterBlock& tpb, LockWait wait)
{
    tpb.Add(wait == LockWait::Never ? isc_tpb_nowait : isc_tpb_wait);
    if (wait == LockWait::OneSecond) tpb.Add(isc_tpb_lock_timeout, std::string(1, '\1'));
}

}  // namespace

void Transaction::Start(Attachment& attachment, const ParameterBlock& tpb)
{
    Check({}, [&](ISC_STATUS* status) {
        isc_start_transaction(status, &Handle, 1, attachment.Raw(), static_cast<unsigned short>(tpb.Size()),
                              tpb.Data());
    });
}

void Transaction::Start(Attachment& attachment, LockWait wait)
{
    ParameterBlock tpb(isc_tpb_version3);
    tpb.Add(isc_tpb_write).Add(isc_tpb_concurrency);
    AddWait(tpb, wait);
    Start(attachment, tpb);
}

void Transaction::StartReserving(Attachment& attachment, const std::string& table, LockWait wait)
{
    ParameterBlock tpb(isc_tpb_version3);
    tpb.Add(isc_tpb_write).Add(isc_tpb_concurrency);
    AddWait(tpb, wait);
    tpb.Add(isc_tpb_lock_write, table).Add(isc_tpb_protected);
    Start(attachment, tpb);
}

void Transaction::StartReading(Attachment& attachment)
{
    ParameterBlock tpb(isc_tpb_version3);
    tpb.Add(isc_tpb_read).Add(isc_tpb_read_committed).Add(isc_tpb_rec_version).Add(isc_tpb_nowait);
    Start(attachment, tpb);
}

void Transaction::StartCommittingEach(Attachment& attachment, LockWait wait)
{
    ParameterBlock tpb(isc_tpb_version3);
    tpb.Add(isc_tpb_write).Add(isc_tpb_read_committed).Add(isc_tpb_rec_version).Add(isc_tpb_autocommit);
    AddWait(tpb, wait);
    Start(attachment, tpb);
}

void Transaction::Commit()
{
    Check({}, [&](ISC_STATUS* status) { isc_commit_transaction(status, &Handle); });
}

void Transaction::Rollback()
{
    if (Handle == 0) return;
    Check({}, [&](ISC_STATUS* status) { isc_rollback_transaction(status, &Handle); });
}

Statement::~Statement() { Free(); }

void ExecuteImmediate(Attachment& attachment, Transaction& transaction, const std::string& text)
{
    Check(text, [&](ISC_STATUS* status) {
        isc_dsql_execute_immediate(status, attachment.Raw(), transaction.Raw(), 0, text.c_str(), SQL_DIALECT_V6, nullptr);
    });
}

void Statement::Prepare(Attachment& attachment, Transaction& transaction, const std::string& text)
{
    CloseCursor();
    Text = text;
    Select = false;
    Input.clear();
    if (Handle == 0) Check(Text, [&](ISC_STATUS* status) { isc_dsql_allocate_statement(status, attachment.Raw(), &Handle); });

    // Room for the widest result the program reads, so that the prepare describes it at once.
    constexpr short InitialColumns = 20;
    Descriptor.assign(XSQLDA_LENGTH(InitialColumns), 0);
    AsSqlda(Descriptor)->version = SQLDA_VERSION1;
    AsSqlda(Descriptor)->sqln = InitialColumns;
    Check(Text, [&](ISC_STATUS* status) {
        isc_dsql_prepare(status, transaction.Raw(), &Handle, 0, Text.c_str(), SQL_DIALECT_V6, AsSqlda(Descriptor));
    });
    Describe();
    // Only the program's SELECTs return columns; no statement it sends has RETURNING.
    Select = AsSqlda(Descriptor)->sqld > 0;
}

void Statement::Describe()
{
    const int columns = AsSqlda(Descriptor)->sqld;
    if (columns > AsSqlda(Descriptor)->sqln) {
        Descriptor.assign(XSQLDA_LENGTH(columns), 0);
        AsSqlda(Descriptor)->version = SQLDA_VERSION1;
        AsSqlda(Descriptor)->sqln = static_cast<short>(columns);
        Check(Text, [&](ISC_STATUS* status) {
            isc_dsql_describe(status, &Handle, SQL_DIALECT_V6, AsSqlda(Descriptor));
        });
    }
    XSQLDA* sqlda = AsSqlda(Descriptor);
    Values.assign(static_cast<size_t>(sqlda->sqld), {});
    Indicators.assign(static_cast<size_t>(sqlda->sqld), 0);
    for (int i = 0; i < sqlda->sqld; ++i) {
        XSQLVAR& var = sqlda->sqlvar[i];
        size_t size = static_cast<size_t>(var.sqllen);
        if ((var.sqltype & ~1) == SQL_VARYING) size += sizeof(short);
        Values[static_cast<size_t>(i)].assign(std::max<size_t>(size, 1), 0);
        var.sqldata = Values[static_cast<size_t>(i)].data();
        var.sqlind = &Indicators[static_cast<size_t>(i)];
        var.sqltype |= 1;  // always ask for the NULL indicator
    }
}

void Statement::Execute(Transaction& transaction)
{
    Check(Text, [&](ISC_STATUS* status) {
        isc_dsql_execute(status, transaction.Raw(), &Handle, SQL_DIALECT_V6, nullptr);
    });
    CursorOpen = Select;
}

void Statement::Execute(Transaction& transaction, const std::vector<std::string>& values)
{
    if (Input.empty()) {
        const short count = static_cast<short>(values.size());
        Input.assign(XSQLDA_LENGTH(std::max<short>(count, 1)), 0);
        AsSqlda(Input)->version = SQLDA_VERSION1;
        AsSqlda(Input)->sqln = std::max<short>(count, 1);
        Check(Text, [&](ISC_STATUS* status) {
            isc_dsql_describe_bind(status, &Handle, SQL_DIALECT_V6, AsSqlda(Input));
        });
    }
    if (AsSqlda(Input)->sqld != static_cast<short>(values.size()))
        throw std::invalid_argument("the values do not match the parameters of " + Text);
    // The descriptor points into copies: the library takes the bytes as non-const.
    InputValues = values;
    InputIndicators.assign(values.size(), 0);
    XSQLDA* sqlda = AsSqlda(Input);
    for (size_t i = 0; i < InputValues.size(); ++i) {
        XSQLVAR& var = sqlda->sqlvar[i];
        var.sqltype = SQL_TEXT + 1;
        var.sqlsubtype = 0;  // character set NONE: the bytes go in as they are
        var.sqlscale = 0;
        var.sqllen = static_cast<ISC_SHORT>(std::min(InputValues[i].size(), MaxParameterBytes));
        var.sqldata = InputValues[i].data();
        InputIndicators[i] = InputValues[i].empty() ? -1 : 0;
        var.sqlind = &InputIndicators[i];
    }
    Check(Text, [&](ISC_STATUS* status) {
        isc_dsql_execute(status, transaction.Raw(), &Handle, SQL_DIALECT_V6, sqlda);
    });
}

bool Statement::Fetch()
{
    ISC_STATUS_ARRAY status{};
    const ISC_STATUS rc = isc_dsql_fetch(status, &Handle, SQL_DIALECT_V6, AsSqlda(Descriptor));
    if (rc == 100) return false;
    if (status[0] == 1 && status[1] != 0) throw DbError(status, Text);
    return true;
}

void Statement::CloseCursor()
{
    if (!CursorOpen) return;
    CursorOpen = false;
    ISC_STATUS_ARRAY status{};
    isc_dsql_free_statement(status, &Handle, DSQL_close);
}

void Statement::Free()
{
    CursorOpen = false;
    Descriptor.clear();
    if (Handle == 0) return;
    ISC_STATUS_ARRAY status{};
    isc_dsql_free_statement(status, &Handle, DSQL_drop);
    Handle = 0;
}

int Statement::ColumnCount() const { return Descriptor.empty() ? 0 : AsSqlda(Descriptor)->sqld; }

std::string Statement::ColumnName(int column) const
{
    const XSQLVAR& var = AsSqlda(Descriptor)->sqlvar[column];
    return std::string(var.aliasname, static_cast<size_t>(var.aliasname_length));
}

bool Statement::ColumnIsText(int column) const
{
    const int type = AsSqlda(Descriptor)->sqlvar[column].sqltype & ~1;
    return type == SQL_TEXT || type == SQL_VARYING;
}

std::string Statement::ColumnText(int column) const
{
    const XSQLVAR& var = AsSqlda(Descriptor)->sqlvar[column];
    if (var.sqlind && *var.sqlind < 0) return {};
    const char* data = var.sqldata;
    switch (var.sqltype & ~1) {
    case SQL_TEXT:
        return std::string(data, static_cast<size_t>(var.sqllen));
    case SQL_VARYING:
        return std::string(data + sizeof(short), static_cast<size_t>(Load<short>(data)));
    case SQL_SHORT:
        return ScaledInteger(Load<int16_t>(data), var.sqlscale);
    case SQL_LONG:
        return ScaledInteger(Load<int32_t>(data), var.sqlscale);
    case SQL_INT64:
        return ScaledInteger(Load<int64_t>(data), var.sqlscale);
    case SQL_FLOAT: {
        char buffer[32];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, Load<float>(data));
        return std::string(buffer, result.ptr);
    }
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
        return FloatToText(Load<double>(data));
    case SQL_BOOLEAN:
        return *reinterpret_cast<const unsigned char*>(data) ? "True" : "False";
    case SQL_TYPE_DATE: {
        std::tm t{};
        isc_decode_sql_date(reinterpret_cast<const ISC_DATE*>(data), &t);
        return FormatTime(t, true, false);
    }
    case SQL_TYPE_TIME: {
        std::tm t{};
        isc_decode_sql_time(reinterpret_cast<const ISC_TIME*>(data), &t);
        return FormatTime(t, false, true);
    }
    case SQL_TIMESTAMP: {
        std::tm t{};
        isc_decode_timestamp(reinterpret_cast<const ISC_TIMESTAMP*>(data), &t);
        return FormatTime(t, true, true);
    }
    default:
        return {};  // blobs and arrays are not used by the program
    }
}
