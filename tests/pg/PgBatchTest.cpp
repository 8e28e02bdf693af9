#include "BatchRead.h"
#include "ChainedCommit.h"
#include "PgBackendFixture.h"
#include "PgConnection.h"

// A batch on a server: its records locked from the read to the commit, its writes held back for
// the commit, the next batch read with the commit, its statements named.

// Writes held back for the commit: the batch's records are locked from the read on, so another
// session waits for the commit; a value the server refuses only there (its CHECK is stricter than
// the condition the catalogue names) undoes the whole batch, and the table's later writes are
// refused at their record.
TEST_F(PgBackendTest, HeldBackWritesKeepTheBatchWhole) {
    fx.insert(uri, u"T"_s, {u"Tel"_s}, {{u"1"_s}, {u"2"_s}});
    TestDatabases::superuserExec(uriDatabaseName(uri),
                                 u"ALTER TABLE telnormer.\"T\" DROP CONSTRAINT vdb_ck_1, ADD "
                                 "CONSTRAINT vdb_ck_1 CHECK (length(\"Tel\") <= 3)"_s);
    const DatabasePtr d = fx.open(uri);
    const DatabasePtr theirs = fx.open(uri, u"ADMIN"_s, u"admin"_s, 0, 100);
    const TablePtr t = d->Tables()->Item(u"T"_s);
    const FieldPtr tel = t->Fields()->Item(u"Tel"_s);
    const auto stored = [&] {
        QStringList values;
        const TablePtr s = fx.open(uri)->Tables()->Item(u"T"_s);
        for (s->MoveFirst(0); !s->Eof(); s->Skip(1, 0))
            values << s->Fields()->Item(u"Tel"_s)->Value().toString();
        return values.join(u',');
    };
    for (const QStringList& batch :
         {QStringList{u"12"_s, u"1234"_s, u"34"_s}, QStringList{u"56"_s, u"1234"_s, u"78"_s}}) {
        d->GetTransaction(0)->Begin(0);
        t->MoveFirst(0);
        ASSERT_EQ(dynamic_cast<BatchRead*>(t.get())->ReadAhead({u"Tel"_s}, 10).size(), 3);
        for (const QString& value : batch) {
            tel->SetValue(value);
            if (value == u"1234"_s && batch[0] == u"56"_s)
                expectServerError([&] { t->Update(0); }, VdbCode::ConditionViolated);
            else
                t->Update(0);
            if (value != batch.last())
                t->Skip(1, 0);
        }
        const TablePtr o = theirs->Tables()->Item(u"T"_s);
        o->MoveFirst(0);
        o->Fields()->Item(u"Tel"_s)->SetValue(u"0"_s);
        expectServerError([&] { o->Update(0); }, VdbCode::Locked);
        if (batch[0] == u"12"_s)
            EXPECT_TRUE(
                expectServerError([&] { d->GetTransaction(0)->Commit(); }, VdbCode::StorageFailure)
                    .contains(u"were not stored"_s));
        else
            d->GetTransaction(0)->Commit();
        EXPECT_EQ(stored(), batch[0] == u"12"_s ? u",1,2"_s : u"56,1,78"_s);
        // The cursor shows what the database holds, not a write the failed commit undid.
        EXPECT_EQ(tel->Value(), QVariant(batch[0] == u"12"_s ? u"2"_s : u"78"_s));
    }
    // A constraint another program made to divide by zero fails the batch in its own words.
    TestDatabases::superuserExec(uriDatabaseName(uri),
                                 u"ALTER TABLE telnormer.\"T\" DROP CONSTRAINT vdb_ck_1, ADD "
                                 "CONSTRAINT vdb_ck_1 CHECK (1 / (length(\"Tel\") - 3) < 9)"_s);
    const DatabasePtr e = fx.open(uri);
    const TablePtr et = e->Tables()->Item(u"T"_s);
    e->GetTransaction(0)->Begin(0);
    et->MoveFirst(0);
    dynamic_cast<BatchRead*>(et.get())->ReadAhead({u"Tel"_s}, 10);
    et->Fields()->Item(u"Tel"_s)->SetValue(u"999"_s);
    et->Update(0);
    // A write sent at once sends the held-back one first; later ones the lost transaction refuses.
    et->Skip(1, 0);
    et->Fields()->Item(u"Tel"_s)->SetValue(QVariant());
    QString text = expectServerError([&] { et->Update(0); }, VdbCode::StorageFailure);
    EXPECT_TRUE(text.contains(u"division by zero"_s) && text.contains(u"not stored"_s));
    EXPECT_TRUE(expectServerError([&] { et->Update(0); }, VdbCode::StorageFailure)
                    .contains(u"nothing more"_s));
    text = expectServerError([&] { e->GetTransaction(0)->Commit(); }, VdbCode::StorageFailure);
    EXPECT_TRUE(text.contains(u"rolled back"_s)) << text.toStdString();
}

// A commit its Begin follows reads and locks the next batch in its own round trip: nobody else
// takes those records meanwhile, the batch finds them read, and anything but that Begin first
// gives them back, so that no lock outlives the run and nothing read then is taken later.
TEST_F(PgBackendTest, CommitBeforeBeginHoldsTheNextBatchOnlyForIt) {
    QList<QVariantList> rows;
    for (int i = 1; i <= 25; ++i)
        rows << QVariantList{QString::number(i)};
    fx.insert(uri, u"T"_s, {u"Tel"_s}, rows);
    const DatabasePtr d = fx.open(uri);
    const DatabasePtr theirs = fx.open(uri, u"ADMIN"_s, u"admin"_s, 0, 100);
    const TablePtr t = d->Tables()->Item(u"T"_s);
    auto* reader = dynamic_cast<BatchRead*>(t.get());
    PgConnection watcher(TestDatabases::superuserUri(uriDatabaseName(uri)), {}, {});
    const auto locks = [&] {
        return watcher
            .exec(u"SELECT count(*) FROM pg_locks WHERE relation = 'telnormer.\"T\"'::regclass"_s)
            .integer(0, 0);
    };
    const auto theirWrite = [&](int skip) {
        const TablePtr o = theirs->Tables()->Item(u"T"_s);
        o->MoveFirst(0);
        o->Skip(skip, 0);
        o->Fields()->Item(u"Tel"_s)->SetValue(u"x"_s);
        o->Update(0);
    };
    const auto commitThenBegin = [&] {
        dynamic_cast<ChainedCommit*>(d->GetTransaction(0).get())->CommitThenBegin();
    };
    const auto firstBatchThenBegin = [&] {
        d->GetTransaction(0)->Begin(0);
        t->MoveFirst(0);
        EXPECT_EQ(reader->ReadAhead({u"Tel"_s}, 10).size(), 10);
        t->Skip(9, 0);
        commitThenBegin();
    };
    firstBatchThenBegin();
    EXPECT_GT(locks(), 0);
    expectServerError([&] { theirWrite(10); }, VdbCode::Locked);
    d->GetTransaction(0)->Begin(0);
    t->Skip(1, 0);
    EXPECT_EQ(reader->ReadAhead({u"Tel"_s}, 10).value(9), QVariantList{u"19"_s});
    t->Fields()->Item(u"Tel"_s)->SetValue(u"y"_s);
    t->Update(0);
    t->Skip(9, 0);
    commitThenBegin();
    // Not the Begin: what the commit read and locked is given back first.
    EXPECT_EQ(t->RecordCount(), 26);
    EXPECT_EQ(locks(), 0);
    theirWrite(20);
    d->GetTransaction(0)->Begin(0);
    t->Skip(1, 0);
    EXPECT_EQ(reader->ReadAhead({u"Tel"_s}, 10).value(0), QVariantList{u"x"_s});
    d->GetTransaction(0)->Commit();
    EXPECT_EQ(locks(), 0);
    const TablePtr o = theirs->Tables()->Item(u"T"_s);
    o->MoveFirst(0);
    o->Skip(10, 0);
    EXPECT_EQ(o->Fields()->Item(u"Tel"_s)->Value(), QVariant(u"y"_s));
    // A read ahead that met a lock elsewhere is rolled back, though its batch sends nothing: no
    // session of ours waits in a failed transaction (which a server's idle timeout would end).
    watcher.exec(u"BEGIN"_s);
    watcher.exec(u"SELECT 1 FROM telnormer.\"T\" WHERE \"Tel\" = '16' FOR UPDATE"_s);
    firstBatchThenBegin();
    d->GetTransaction(0)->Begin(0);
    d->GetTransaction(0)->Commit();
    const QString aborted = u"SELECT count(*) FROM pg_stat_activity WHERE state LIKE '%ted)'"_s;
    EXPECT_EQ(watcher.exec(aborted).integer(0, 0), 0);
    watcher.exec(u"COMMIT"_s);
}

// A text sent again goes under a name the server took: its refusal is still the answer, a name
// whose Parse the server skipped is never used, and a plan another session's change of a column
// outdates costs one refusal.
TEST_F(PgBackendTest, StatementsSentAgainAnswerAsTheFirstTime) {
    PgConnection c(TestDatabases::superuserUri(uriDatabaseName(uri)), {}, {});
    const QString wert = u"SELECT \"Wert\" FROM telnormer.\"T\""_s;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(c.exec(wert).text(0, 0), u"alt"_s);
        EXPECT_TRUE(expectServerError([&] { c.exec(u"SELECT nosuch FROM telnormer.\"T\""_s); },
                                      VdbCode::StorageFailure)
                        .contains(u"nosuch"_s));
        const auto results = c.pipeline({{u"SELECT 1 / 0"_s, {}}, {u"SELECT 2"_s, {}}});
        EXPECT_EQ(PQresultStatus(results[1].handle()), PGRES_PIPELINE_ABORTED);
    }
    EXPECT_EQ(c.exec(u"SELECT 2"_s).integer(0, 0), 2);
    TestDatabases::superuserExec(uriDatabaseName(uri),
                                 u"ALTER TABLE telnormer.\"T\" ALTER \"Wert\" TYPE varchar(40)"_s);
    expectServerError([&] { c.exec(wert); }, VdbCode::StorageFailure);
    EXPECT_EQ(c.exec(wert).text(0, 0), u"alt"_s);
    c.exec(u"DEALLOCATE ALL"_s); // as a pooler does
    expectServerError([&] { c.exec(wert); }, VdbCode::StorageFailure);
    EXPECT_EQ(c.exec(wert).text(0, 0), u"alt"_s);
}

// A write the conditions refuse inside a batch is refused as the server refuses it: of several
// refusing conditions, the one the server names first; a CHECK loosened on the server decides.
TEST_F(PgBackendTest, ConditionsRefuseInABatchAsTheServerDoes) {
    QStringList names;
    for (int f = 0; f < 11; ++f)
        names << u"F%1"_s.arg(f);
    TableSchema s = tableOf(u"S"_s, names);
    for (FieldSchema& field : s.fields) {
        if (field.name == u"F2"_s || field.name == u"F10"_s)
            field.condition = u"length(\"%1\") <= 2"_s.arg(field.name);
    }
    const QString judged = fx.create(u"judged"_s, schemaOf({s}));
    fx.insert(judged, u"S"_s, {u"F0"_s}, {{u"1"_s}});
    const DatabasePtr d = fx.open(judged);
    const TablePtr t = d->Tables()->Item(u"S"_s);
    for (const auto& [f2, f10] :
         {std::pair{u"123"_s, u"1"_s}, {u"1"_s, u"123"_s}, {u"123"_s, u"1234"_s}}) {
        const auto refusal = [&](bool inBatch) {
            if (inBatch)
                d->GetTransaction(0)->Begin(0);
            t->MoveFirst(0);
            if (inBatch)
                dynamic_cast<BatchRead*>(t.get())->ReadAhead({u"F2"_s}, 10);
            t->Fields()->Item(u"F2"_s)->SetValue(f2);
            t->Fields()->Item(u"F10"_s)->SetValue(f10);
            const QString said =
                expectServerError([&] { t->Update(0); }, VdbCode::ConditionViolated);
            if (inBatch)
                d->GetTransaction(0)->Rollback();
            return said;
        };
        EXPECT_EQ(refusal(true), refusal(false)) << f2.toStdString();
    }
    // A CHECK another program loosened takes what the conditions refuse.
    TestDatabases::superuserExec(uriDatabaseName(judged),
                                 u"ALTER TABLE telnormer.\"S\" DROP CONSTRAINT vdb_ck_2, ADD "
                                 "CONSTRAINT vdb_ck_2 CHECK (length(\"F2\") <= 4)"_s);
    d->GetTransaction(0)->Begin(0);
    t->MoveFirst(0);
    dynamic_cast<BatchRead*>(t.get())->ReadAhead({u"F2"_s}, 10);
    t->Fields()->Item(u"F2"_s)->SetValue(u"123"_s);
    t->Update(0);
    d->GetTransaction(0)->Commit();
    t->MoveFirst(0);
    EXPECT_EQ(t->Fields()->Item(u"F2"_s)->Value(), QVariant(u"123"_s));
}
