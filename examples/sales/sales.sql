-- The sample database of examples/sales: regions, their orders and the orders' items.
-- make demo builds build/sales.db from this file with the sqlite3 command.

create table regions (
  region  text primary key,
  manager text not null
);

create table orders (
  order_no   integer primary key,
  region     text not null references regions(region),
  customer   text not null,
  order_date text not null  -- ISO date
);

create table items (
  order_no integer not null references orders(order_no),
  line     integer not null,
  product  text not null,
  quantity integer not null,
  price    real not null,
  primary key (order_no, line)
);

insert into regions values
  ('East', 'Lena Ortmann'),
  ('North', 'Jonas Berg'),
  ('South', 'Marta Ruiz'),
  ('West', 'Owen Hale');

insert into orders values
  (1001, 'East', 'Oderblick GmbH', '2026-01-05'),
  (1002, 'North', 'Nordlicht AG', '2026-01-02'),
  (1003, 'South', 'Casa Verde', '2026-01-03'),
  (1004, 'West', 'Bayview Ltd.', '2026-01-19'),
  (1005, 'East', 'Oderblick GmbH', '2026-01-14'),
  (1006, 'North', 'Nordlicht AG', '2026-02-27'),
  (1007, 'South', 'Terra Rossa', '2026-02-23'),
  (1008, 'West', 'Celtic Crafts', '2026-02-22'),
  (1009, 'East', 'Oderblick GmbH', '2026-02-08'),
  (1010, 'North', 'Nordlicht AG', '2026-02-10'),
  (1011, 'South', 'Casa Verde', '2026-03-17'),
  (1012, 'West', 'Celtic Crafts', '2026-03-14'),
  (1013, 'East', 'Oderblick GmbH', '2026-03-23'),
  (1014, 'North', 'Fjord Supplies', '2026-03-09'),
  (1015, 'South', 'Sol y Mar', '2026-03-23'),
  (1016, 'West', 'Atlantic Press', '2026-04-20'),
  (1017, 'East', 'Baltic Tools', '2026-04-25'),
  (1018, 'North', 'Harbour & Sons', '2026-04-28'),
  (1019, 'South', 'Terra Rossa', '2026-04-09'),
  (1020, 'West', 'Bayview Ltd.', '2026-04-14'),
  (1021, 'East', 'Baltic Tools', '2026-05-05'),
  (1022, 'North', 'Harbour & Sons', '2026-05-27'),
  (1023, 'South', 'Terra Rossa', '2026-05-12'),
  (1024, 'West', 'Celtic Crafts', '2026-05-13'),
  (1025, 'North', 'Fjord Supplies', '2026-05-03');

insert into items values
  (1001, 1, 'Desk lamp', 2, 24.90),
  (1001, 2, 'Paper, 500 sheets', 10, 5.95),
  (1002, 1, 'Monitor arm', 12, 59.50),
  (1002, 2, 'Desk lamp', 12, 24.90),
  (1002, 3, 'Stapler', 2, 7.40),
  (1003, 1, 'Stapler', 2, 7.40),
  (1003, 2, 'Desk lamp', 4, 24.90),
  (1003, 3, 'Cable set', 1, 12.75),
  (1004, 1, 'Desk lamp', 1, 24.90),
  (1004, 2, 'Office chair', 3, 149.00),
  (1005, 1, 'Office chair', 5, 149.00),
  (1006, 1, 'Notebook A5', 4, 3.20),
  (1006, 2, 'Desk lamp', 10, 24.90),
  (1006, 3, 'Cable set', 2, 12.75),
  (1007, 1, 'Desk lamp', 4, 24.90),
  (1008, 1, 'Stapler', 20, 7.40),
  (1008, 2, 'Paper, 500 sheets', 20, 5.95),
  (1008, 3, 'Notebook A5', 10, 3.20),
  (1009, 1, 'Monitor arm', 2, 59.50),
  (1010, 1, 'Paper, 500 sheets', 20, 5.95),
  (1010, 2, 'Notebook A5', 5, 3.20),
  (1010, 3, 'Whiteboard', 2, 89.00),
  (1011, 1, 'Notebook A5', 10, 3.20),
  (1011, 2, 'Stapler', 3, 7.40),
  (1012, 1, 'Office chair', 10, 149.00),
  (1013, 1, 'Paper, 500 sheets', 20, 5.95),
  (1013, 2, 'Cable set', 2, 12.75),
  (1014, 1, 'Office chair', 5, 149.00),
  (1014, 2, 'Desk lamp', 20, 24.90),
  (1015, 1, 'Whiteboard', 20, 89.00),
  (1015, 2, 'Desk lamp', 10, 24.90),
  (1016, 1, 'Paper, 500 sheets', 1, 5.95),
  (1017, 1, 'Notebook A5', 4, 3.20),
  (1017, 2, 'Whiteboard', 12, 89.00),
  (1018, 1, 'Office chair', 20, 149.00),
  (1018, 2, 'Paper, 500 sheets', 12, 5.95),
  (1019, 1, 'Stapler', 5, 7.40),
  (1020, 1, 'Stapler', 3, 7.40),
  (1020, 2, 'Office chair', 2, 149.00),
  (1021, 1, 'Monitor arm', 1, 59.50),
  (1022, 1, 'Notebook A5', 1, 3.20),
  (1022, 2, 'Paper, 500 sheets', 3, 5.95),
  (1022, 3, 'Stapler', 12, 7.40),
  (1023, 1, 'Whiteboard', 1, 89.00),
  (1023, 2, 'Office chair', 20, 149.00),
  (1023, 3, 'Paper, 500 sheets', 12, 5.95),
  (1024, 1, 'Office chair', 12, 149.00),
  (1024, 2, 'Monitor arm', 1, 59.50),
  (1025, 1, 'Paper, 500 sheets', 3, 5.95);
