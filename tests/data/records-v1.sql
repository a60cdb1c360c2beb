-- A records database of schema version 1, as the first version of the record store made
-- it, with three records: a completed test, a failed leak test and a test left open by a
-- crash. Made with:  sqlite3 records-v1.sqlite < records-v1.sql
-- Times are Central European (UTC+01:00); sample times are UTC seconds and their offset.
PRAGMA journal_mode = WAL;
PRAGMA user_version = 1;
BEGIN;
CREATE TABLE record (
    id INTEGER PRIMARY KEY,
    station INTEGER NOT NULL CHECK (station IN (0, 1)),
    start_time TEXT NOT NULL,
    start_utc INTEGER NOT NULL,
    end_time TEXT,
    end_utc INTEGER,
    outcome TEXT CHECK (outcome IN ('completed', 'leak test failed', 'main test failed',
                                    'stopped', 'interrupted')),
    start_pressure_limit REAL NOT NULL,
    leak_fall_limit REAL NOT NULL,
    leak_test_duration INTEGER NOT NULL,
    bath_fall_limit REAL NOT NULL,
    main_test_duration INTEGER NOT NULL,
    min_bath_temp REAL NOT NULL,
    cal_range REAL NOT NULL,
    cal_zero REAL NOT NULL,
    cal_span REAL NOT NULL,
    temp_zero REAL NOT NULL,
    temp_span REAL NOT NULL,
    leak_ref_pressure REAL NOT NULL,
    main_ref_pressure REAL,
    leak_pass_time TEXT,
    main_start_time TEXT,
    post_test_time TEXT,
    test_name TEXT NOT NULL DEFAULT '',
    operator TEXT NOT NULL DEFAULT ''
);
CREATE TABLE sample (
    record_id INTEGER NOT NULL REFERENCES record (id),
    seq INTEGER NOT NULL,
    elapsed INTEGER NOT NULL,
    time_utc INTEGER NOT NULL,
    utc_offset INTEGER NOT NULL,
    pressure REAL,
    bath_temp REAL,
    phase INTEGER NOT NULL CHECK (phase BETWEEN 0 AND 3),
    PRIMARY KEY (record_id, seq)
) WITHOUT ROWID;
INSERT INTO record VALUES (1, 0, '2026-03-02T09:00:00+01:00', 1772438400, '2026-03-02T09:00:10+01:00',
    1772438410, 'completed', 600, 7, 3, 0.9, 3, 100, 1000, 0, 1000, 0, 100, 700.0, 699.5,
    '2026-03-02T09:00:03+01:00', '2026-03-02T09:00:05+01:00', '2026-03-02T09:00:09+01:00',
    'Vessel 7, lot "A"', 'Jürgen Weiß');
INSERT INTO record VALUES (2, 1, '2026-03-02T09:30:00+01:00', 1772440200,
    '2026-03-02T09:30:03+01:00', 1772440203, 'leak test failed', 600, 7, 600, 14, 900, 100,
    1200, 12, 1100, 3, 98, 650.0, NULL, NULL, NULL, NULL, '', '');
INSERT INTO record VALUES (3, 0, '2026-03-02T11:00:00+01:00', 1772445600, NULL, NULL, NULL,
    600, 7, 600, 14, 900, 100, 1000, 0, 1000, 0, 100, 710.0, NULL, NULL, NULL, NULL, '', '');
INSERT INTO sample VALUES (1, 0, 0, 1772438401, 3600, 699.9, 101.0, 0);
INSERT INTO sample VALUES (1, 1, 1, 1772438402, 3600, 699.8, 101.0, 0);
INSERT INTO sample VALUES (1, 2, 2, 1772438403, 3600, 699.6, 101.1, 0);
INSERT INTO sample VALUES (1, 3, 3, 1772438404, 3600, 699.6, 101.1, 3);
INSERT INTO sample VALUES (1, 4, 5, 1772438406, 3600, 699.4, 101.2, 1);
INSERT INTO sample VALUES (1, 5, 6, 1772438407, 3600, 699.2, 101.2, 1);
INSERT INTO sample VALUES (1, 6, 7, 1772438408, 3600, 699.0, 101.3, 1);
INSERT INTO sample VALUES (1, 7, 8, 1772438409, 3600, 698.9, 101.3, 2);
INSERT INTO sample VALUES (1, 8, 9, 1772438410, 3600, 698.5, 101.4, 2);
INSERT INTO sample VALUES (2, 0, 0, 1772440201, 3600, 649.0, 100.5, 0);
INSERT INTO sample VALUES (2, 1, 1, 1772440202, 3600, NULL, 100.5, 0);
INSERT INTO sample VALUES (2, 2, 2, 1772440203, 3600, 640.0, NULL, 0);
INSERT INTO sample VALUES (3, 0, 0, 1772445601, 3600, 709.9, 102.0, 0);
INSERT INTO sample VALUES (3, 1, 1, 1772445602, 3600, 709.8, 102.0, 0);
INSERT INTO sample VALUES (3, 2, 2, 1772445603, 3600, 709.8, 102.0, 0);
INSERT INTO sample VALUES (3, 3, 3, 1772445604, 3600, 709.7, 102.0, 0);
COMMIT;
