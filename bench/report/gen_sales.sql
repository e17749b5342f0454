-- The sales database of the report benchmark: @ROWS@ orders in 25 regions, stored in the order
-- the report reads them (region, order_no), so the query's ORDER BY is a plain table scan.
-- run.sh replaces @ROWS@ and feeds the text to the sqlite3 command. Values are derived from the
-- row number by a multiplicative hash, so every run gives the same database.
PRAGMA journal_mode = OFF;
PRAGMA synchronous = OFF;
DROP TABLE IF EXISTS sales;
CREATE TABLE sales (
  region     TEXT    NOT NULL,
  customer   TEXT    NOT NULL,
  product    TEXT    NOT NULL,
  order_no   INTEGER NOT NULL,
  quantity   INTEGER NOT NULL,
  unit_price REAL    NOT NULL,
  amount     REAL    NOT NULL,
  order_date DATE    NOT NULL,
  PRIMARY KEY (region, order_no)
) WITHOUT ROWID;

CREATE TEMP TABLE regions (id INTEGER PRIMARY KEY, name TEXT NOT NULL);
INSERT INTO regions (id, name) VALUES
  (0, 'Alpine'), (1, 'Atlantic Coast'), (2, 'Baltic'), (3, 'Bay Area'), (4, 'Central'),
  (5, 'Channel'), (6, 'Coastal Plain'), (7, 'Delta'), (8, 'East Midlands'), (9, 'Fjords'),
  (10, 'Great Lakes'), (11, 'Highlands'), (12, 'Inland Valley'), (13, 'Lowlands'),
  (14, 'Mediterranean'), (15, 'Mountain West'), (16, 'North East'), (17, 'North Sea'),
  (18, 'Pacific Rim'), (19, 'Plains'), (20, 'Riviera'), (21, 'South West'), (22, 'Steppe'),
  (23, 'Tidewater'), (24, 'Uplands');

CREATE TEMP TABLE products (id INTEGER PRIMARY KEY, name TEXT NOT NULL, price REAL NOT NULL);
INSERT INTO products (id, name, price) VALUES
  (0, 'Anchor bolt', 0.85), (1, 'Bearing', 12.40), (2, 'Cable reel', 48.00),
  (3, 'Drill bit set', 27.95), (4, 'Extension cord', 15.50), (5, 'Floor lamp', 64.90),
  (6, 'Gear motor', 189.00), (7, 'Hinge', 3.15), (8, 'Impact driver', 129.00),
  (9, 'Junction box', 7.80), (10, 'Knife switch', 22.60), (11, 'Ladder', 95.00),
  (12, 'Mitre saw', 249.00), (13, 'Nail gun', 159.50), (14, 'Oil filter', 9.99),
  (15, 'Pipe wrench', 31.25);

WITH RECURSIVE
  seq (n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM seq WHERE n < @ROWS@),
  hashed (n, h) AS (SELECT n, (n * 2654435761) % 4294967296 FROM seq),
  orders (n, h, region, product, quantity, percent) AS (
    SELECT n, h, h % 25, (h / 25) % 16, 1 + (h / 400) % 48, 80 + (h / 19200) % 41
    FROM hashed),
  -- Prices and amounts are whole cents divided by 100, so each is the double nearest to its
  -- two-decimal text and survives any round trip through text unchanged.
  priced (n, h, region, product, quantity, cents) AS (
    SELECT o.n, o.h, o.region, o.product, o.quantity, CAST(round(p.price * o.percent) AS INTEGER)
    FROM orders o JOIN products p ON p.id = o.product)
INSERT INTO sales
SELECT r.name,
       printf('Customer %04d', 1 + (o.h / 787) % 1500),
       p.name,
       100000 + o.n,
       o.quantity,
       o.cents / 100.0,
       (o.quantity * o.cents) / 100.0,
       date('2025-01-01', '+' || ((o.h / 1181) % 365) || ' days')
FROM priced o
JOIN regions r ON r.id = o.region
JOIN products p ON p.id = o.product;
