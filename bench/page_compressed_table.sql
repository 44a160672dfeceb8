-- database: bench
-- The InnoDB table of innodb_table.sql compressed page by page
-- (PAGE_COMPRESSED, zlib), 1 million rows.
CREATE TABLE mixed (
  id INT NOT NULL PRIMARY KEY, counter BIGINT, ratio DOUBLE, price DECIMAL(12,2), created DATETIME, day DATE,
  flag TINYINT, code CHAR(10), name VARCHAR(60), note TEXT
) ENGINE=InnoDB PAGE_COMPRESSED=1 DEFAULT CHARSET=utf8mb4;
INSERT INTO mixed
SELECT seq, seq * 7919, seq / 3.0, (seq % 100000) / 100, '2024-01-01 00:00:00' + INTERVAL seq SECOND,
       '2000-01-01' + INTERVAL (seq % 9000) DAY, seq % 128, CONCAT('C', seq % 1000),
       CONCAT('customer name ', seq, ' ', REPEAT('x', seq % 20)),
       IF(seq % 200 = 0, REPEAT(CONCAT('long note ', seq, ' '), 2000),
          IF(seq % 10 = 0, NULL, CONCAT('note for row ', seq, ': ', REPEAT('é', seq % 30))))
FROM seq_1_to_1000000;
