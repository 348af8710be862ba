#include "worker/elvan.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

#include "platform/basic/clock.h"
#include "platform/basic/raised_error.h"
#include "platform/component/apartment.h"
#include "platform/component/registry.h"
#include "tests/support/odbc_sandbox.h"
#include "worker/data_src.h"
#include "worker/fake_engine.h"
#include "worker/server_property.h"
#include "worker/thread_data.h"
#include "worker/worker_classes.h"

namespace kelvan::worker {
namespace {

using component::CreateObject;
using component::ObjectRef;
using testing::EngineScript;
using testing::Raises;
using testing::Returns;

class ElvanTest : public ::testing::Test {
 protected:
  ElvanTest() {
    RegisterWorkerClasses();
    log_file_ =
        (kelvan::testing::OdbcSandbox::Instance().MakeTempDir("elvan") / "vltlog.htm").string();
    destination_.SetName("REPORTS");
  }

  static ObjectRef<ELVAN> NewWorker() { return CreateObject<ELVAN>(kElvanClassId); }

  // A load of one table with every other switch off.
  std::string Start(const ObjectRef<ELVAN>& worker, const std::string& table) {
    return worker.Call([&](ELVAN& elvan) {
      return elvan.StartELVAN(destination_, {table}, log_file_, 1, kFalse16, 30, "", kFalse16,
                              "QDB", 0, 7, 14, kFalse16, kFalse16, kFalse16, batch_, kFalse16);
    });
  }

  static std::string MessagesOf(const ObjectRef<ELVAN>& worker) {
    return worker.Call([](ELVAN& elvan) { return elvan.ErrorMessages(); });
  }
  static std::int32_t ThreadOf(const ObjectRef<ELVAN>& worker) {
    return worker.Call([](ELVAN& elvan) { return elvan.ThreadID(); });
  }
  static std::int32_t CountOf(const ObjectRef<ELVAN>& worker) {
    return worker.Call([](ELVAN& elvan) { return elvan.NumberOnThread(); });
  }

  FixedClock clock_{Timestamp{2023, 11, 30, 8, 15, 0}};
  ScopedClock use_clock_{clock_};
  EngineScript script_;
  DataSrc destination_;
  std::string log_file_;
  std::int32_t batch_ = 1000;
};

TEST_F(ElvanTest, EachWorkerLivesAloneOnAThreadOfItsOwn) {
  ObjectRef<ELVAN> first = NewWorker();
  ObjectRef<ELVAN> second = NewWorker();
  ObjectRef<ELVAN> third = first.Call([](ELVAN& elvan) { return elvan.GetELVANOnNewThread(); });

  const std::int32_t here = component::CurrentThreadId();
  EXPECT_NE(ThreadOf(first), here);
  EXPECT_NE(ThreadOf(first), ThreadOf(second));
  EXPECT_NE(ThreadOf(third), ThreadOf(first));
  EXPECT_NE(ThreadOf(third), ThreadOf(second));
  EXPECT_EQ(CountOf(first), 1);
  EXPECT_EQ(CountOf(second), 1);
  EXPECT_EQ(CountOf(third), 1);
}

TEST_F(ElvanTest, LoadRunsOnTheWorkersThreadAndKeepsItsTextThere) {
  ObjectRef<ELVAN> worker = NewWorker();
  ObjectRef<ELVAN> other = NewWorker();
  worker.Call([](ELVAN& elvan) {
    elvan.SetDSN("VLT1");
    elvan.SetServerValue("DSN=VLT1;UID=admin;PWD=secret");
  });
  script_.Always("CopyTable NODES", Returns(2));
  EXPECT_EQ(MessagesOf(worker), "");

  EXPECT_EQ(Start(worker, "NODES"), "");

  EXPECT_EQ(script_.LastCallThread(), ThreadOf(worker));
  EXPECT_EQ(script_.Calls()[3],
            "CopyTable(VLT1,DSN=VLT1;UID=admin;PWD=secret,NODES,REPORTS,0,2023-11-30 08:15:00)");
  const std::string kept =
      "Copy Table function exception found.\r\n"
      "Could not collect data from table NODES.\r\n"
      "Forecasting not activated.\r\n";
  EXPECT_EQ(MessagesOf(worker), kept);
  EXPECT_EQ(MessagesOf(other), "");
}

TEST_F(ElvanTest, FailedLoadReturnsItsTextAndLeavesTheThreadsTextAlone) {
  ObjectRef<ELVAN> worker = NewWorker();
  EXPECT_EQ(Start(worker, "NODES"), "");
  EXPECT_EQ(MessagesOf(worker), "Forecasting not activated.\r\n");

  script_.Always("SetDBType", Raises());
  const std::string result = Start(worker, "NODES");

  EXPECT_TRUE(result.ends_with("LocalErr:  Failed on: CreateObject\r\n"));
  EXPECT_EQ(MessagesOf(worker), "Forecasting not activated.\r\n");

  ObjectRef<ELVAN> fresh = NewWorker();
  EXPECT_FALSE(Start(fresh, "NODES").empty());
  EXPECT_EQ(MessagesOf(fresh), "");
}

TEST_F(ElvanTest, SettledBatchSizeReachesTheCaller) {
  ObjectRef<ELVAN> worker = NewWorker();
  batch_ = 40000;
  script_.SettleBatchTo(32767);

  worker.Call([&](ELVAN& elvan) {
    return elvan.StartELVAN(destination_, {}, log_file_, 1, kTrue16, 30, "", kFalse16, "QDB", 0, 7,
                            14, kFalse16, kFalse16, kFalse16, batch_, kTrue16);
  });

  EXPECT_EQ(batch_, 32767);
}

TEST_F(ElvanTest, ObjectCountFollowsCreationAndReleaseAndNeverOverflows) {
  SetThreadObjectCountForTesting(0);
  {
    ELVAN first;
    ELVAN second;
    EXPECT_EQ(first.NumberOnThread(), 2);
  }
  EXPECT_EQ(ThreadObjectCount(), 0);

  SetThreadObjectCountForTesting(std::numeric_limits<std::int32_t>::max());
  try {
    ELVAN overflowing;
    ADD_FAILURE() << "created past the largest count";
  } catch (const RaisedError& error) {
    EXPECT_EQ(error.Number(), kErrOverflow);
  }
  EXPECT_EQ(ThreadObjectCount(), std::numeric_limits<std::int32_t>::max());

  SetThreadObjectCountForTesting(std::numeric_limits<std::int32_t>::min());
  EXPECT_THROW(AddToThreadObjectCount(-1), RaisedError);
  EXPECT_EQ(ThreadObjectCount(), std::numeric_limits<std::int32_t>::min());
  SetThreadObjectCountForTesting(0);
}

TEST_F(ElvanTest, NewRecordsHoldFourEmptyStrings) {
  ObjectRef<DataSrc> source = CreateObject<DataSrc>(kDataSrcClassId);
  ObjectRef<ServerProperty> server = CreateObject<ServerProperty>(kServerPropertyClassId);

  source.Call([](DataSrc& record) {
    EXPECT_EQ(record.Name(), "");
    EXPECT_EQ(record.UserName(), "");
    EXPECT_EQ(record.Password(), "");
    EXPECT_EQ(record.Qualifier(), "");
  });
  server.Call([](ServerProperty& record) {
    EXPECT_EQ(record.DSN(), "");
    EXPECT_EQ(record.UID(), "");
    EXPECT_EQ(record.Password(), "");
    EXPECT_EQ(record.Value(), "");
  });
}

}  // namespace
}  // namespace kelvan::worker
