#include "support/rival_registration.h"

#include "app/unitv.h"
#include "db/isc.h"

#include <atomic>
#include <chrono>
#include <thread>

struct RivalRegistration::Handles {
    Attachment Connection;
    Transaction Insert;
    std::atomic<bool> SawWaiting{false};
    std::string Failure;
    std::thread Worker;

    void CommitWhenWaitedOn();
};

// Watches the monitoring tables for another attachment's running INSERT INTO PLAYER.
void RivalRegistration::Handles::CommitWhenWaitedOn()
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    try {
        while (!SawWaiting && std::chrono::steady_clock::now() < deadline) {
            Transaction look;
            look.Start(Connection);
            {
                Statement count;
                count.Prepare(Connection, look,
                              "SELECT COUNT(*) FROM MON$STATEMENTS WHERE MON$STATE = 1 AND "
                              "MON$ATTACHMENT_ID <> CURRENT_CONNECTION AND "
                              "MON$SQL_TEXT CONTAINING 'INSERT INTO PLAYER'");
                count.Execute(look);
                SawWaiting = count.Fetch() && count.ColumnText(0) != "0";
            }
            look.Commit();
            if (!SawWaiting) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        Insert.Commit();
    } catch (const DbError& error) {
        Failure = error.what();
    }
}

RivalRegistration::RivalRegistration(const std::string& values) : Own(std::make_unique<Handles>())
{
    ParameterBlock dpb(isc_dpb_version1);
    dpb.Add(isc_dpb_user_name, "SYSDBA").Add(isc_dpb_password, "lanternox");
    Own->Connection.Attach(GameDatabasePath(), dpb);
    Own->Insert.Start(Own->Connection);
    Statement statement;
    statement.Prepare(Own->Connection, Own->Insert, "INSERT INTO PLAYER (N,PNAME,PASWD,POINTS) VALUES (" + values + ")");
    statement.Execute(Own->Insert);
    Own->Worker = std::thread([this] { Own->CommitWhenWaitedOn(); });
}

RivalRegistration::~RivalRegistration()
{
    if (Own->Worker.joinable()) Own->Worker.join();
}

void RivalRegistration::Join() { Own->Worker.join(); }

bool RivalRegistration::SawWaitingInsert() const { return Own->SawWaiting; }

const std::string& RivalRegistration::Error() const { return Own->Failure; }

struct HeldWrite::Handles {
    Attachment Connection;
    Transaction Write;
};

HeldWrite::HeldWrite(const std::string& statement) : Own(std::make_unique<Handles>())
{
    ParameterBlock dpb(isc_dpb_version1);
    dpb.Add(isc_dpb_user_name, "SYSDBA").Add(isc_dpb_password, "lanternox");
    Own->Connection.Attach(GameDatabasePath(), dpb);
    Own->Write.Start(Own->Connection);
    ExecuteImmediate(Own->Connection, Own->Write, statement);
}

HeldWrite::~HeldWrite() { Release(); }

void HeldWrite::Release()
{
    if (Own->Write.Active()) Own->Write.Rollback();
}
