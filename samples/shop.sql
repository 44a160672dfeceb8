-- database: shop
-- A small shop: a MyISAM and an InnoDB table, a view and a trigger.
CREATE TABLE customers (
  id INT UNSIGNED NOT NULL AUTO_INCREMENT PRIMARY KEY,
  name VARCHAR(80) NOT NULL,
  email VARCHAR(120),
  joined DATE,
  UNIQUE KEY email (email)
) ENGINE=MyISAM DEFAULT CHARSET=utf8mb4;

CREATE TABLE orders (
  id BIGINT NOT NULL AUTO_INCREMENT,
  customer_id INT UNSIGNED NOT NULL,
  placed DATETIME(3) NOT NULL,
  status ENUM('new','paid','shipped','cancelled') NOT NULL DEFAULT 'new',
  total DECIMAL(10,2) NOT NULL,
  note TEXT COMMENT 'free text from the customer',
  PRIMARY KEY (id),
  KEY customer (customer_id)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE VIEW order_totals AS
  SELECT c.name, COUNT(*) AS orders, SUM(o.total) AS spent
  FROM customers c JOIN orders o ON o.customer_id = c.id
  GROUP BY c.name;

CREATE TRIGGER orders_bi BEFORE INSERT ON orders FOR EACH ROW
  SET NEW.note = IFNULL(NEW.note, 'no note');

INSERT INTO customers (name, email, joined) VALUES
  ('Ada Lovelace', 'ada@example.org', '2024-03-01'),
  ('Charles Babbage', 'charles@example.org', '2024-03-02');
INSERT INTO orders (customer_id, placed, status, total) VALUES
  (1, '2024-03-05 10:00:00.125', 'paid', 120.50),
  (2, '2024-03-06 11:30:00', 'new', 9.99);
