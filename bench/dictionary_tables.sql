-- database: many
-- 10 000 InnoDB tables, for the time the dictionary takes to load.
DELIMITER $$
CREATE PROCEDURE make_tables()
BEGIN
  DECLARE i INT DEFAULT 0;
  WHILE i < 10000 DO
    SET @ddl = CONCAT('CREATE TABLE t', i, ' (id INT PRIMARY KEY, name VARCHAR(40), amount DECIMAL(10,2), created DATETIME) ENGINE=InnoDB');
    PREPARE s FROM @ddl;
    EXECUTE s;
    DEALLOCATE PREPARE s;
    SET i = i + 1;
  END WHILE;
END$$
DELIMITER ;
CALL make_tables();
