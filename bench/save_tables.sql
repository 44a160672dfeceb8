-- database: bench
-- One million rows of mixed types in a MyISAM and in an InnoDB table, for
-- the save benchmark.
CREATE TABLE mixed_myisam (
  id INT NOT NULL PRIMARY KEY, counter BIGINT, ratio DOUBLE, price DECIMAL(12,2), created DATETIME, stamp TIMESTAMP NULL,
  day DATE, flag TINYINT, code CHAR(10), name VARCHAR(60), note TEXT, KEY (counter)
) ENGINE=MyISAM DEFAULT CHARSET=utf8mb4;
INSERT INTO mixed_myisam
SELECT seq, seq * 7919, seq / 3.0, (seq % 100000) / 100, '2024-01-01 00:00:00' + INTERVAL seq SECOND,
       FROM_UNIXTIME(1600000000 + seq), '2000-01-01' + INTERVAL (seq % 9000) DAY, seq % 128, CONCAT('C', seq % 1000),
       CONCAT('customer name ''', seq, ' ', REPEAT('x', seq % 20)),
       IF(seq % 10 = 0, NULL, CONCAT('note for row ', seq, ':\n', REPEAT('é', seq % 30)))
FROM seq_1_to_1000000;
CREATE TABLE mixed_innodb LIKE mixed_myisam;
ALTER TABLE mixed_innodb ENGINE=InnoDB;
INSERT INTO mixed_innodb SELECT * FROM mixed_myisam;
