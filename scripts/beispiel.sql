-- The sample database "Beispiel": places, customers, articles, orders and order lines.
BEGIN;
CREATE TABLE Orte (
  OrtId    INTEGER PRIMARY KEY,
  PLZ      TEXT NOT NULL,
  Ort      TEXT NOT NULL,
  Land     TEXT NOT NULL DEFAULT 'Deutschland'
);
CREATE TABLE Kunden (
  KundenNr INTEGER PRIMARY KEY,
  Name     VARCHAR(40) NOT NULL,
  Vorname  VARCHAR(30),
  Strasse  VARCHAR(50),
  OrtId    INTEGER NOT NULL REFERENCES Orte(OrtId),
  Telefon  VARCHAR(20),
  KundeSeit DATE
);
CREATE TABLE Artikel (
  ArtikelNr INTEGER PRIMARY KEY,
  Bezeichnung VARCHAR(60) NOT NULL,
  Einzelpreis NUMERIC(10,2) NOT NULL
);
CREATE TABLE Bestellungen (
  BestellNr INTEGER PRIMARY KEY,
  KundenNr  INTEGER NOT NULL REFERENCES Kunden(KundenNr),
  Bestelldatum DATE NOT NULL,
  Versandt  BOOLEAN NOT NULL DEFAULT 0
);
CREATE TABLE Bestellpositionen (
  BestellNr INTEGER NOT NULL REFERENCES Bestellungen(BestellNr),
  Position  INTEGER NOT NULL,
  ArtikelNr INTEGER NOT NULL REFERENCES Artikel(ArtikelNr),
  Menge     INTEGER NOT NULL,
  Einzelpreis NUMERIC(10,2) NOT NULL,
  PRIMARY KEY (BestellNr, Position)
);
CREATE INDEX IX_Kunden_Name ON Kunden(Name, Vorname);
CREATE INDEX IX_Bestellungen_Kunde ON Bestellungen(KundenNr);
CREATE VIEW Umsatz_je_Kunde AS
  SELECT k.KundenNr, k.Name, k.Vorname, o.Ort, SUM(p.Menge * p.Einzelpreis) AS Umsatz
  FROM Kunden k JOIN Orte o ON o.OrtId = k.OrtId
  JOIN Bestellungen b ON b.KundenNr = k.KundenNr
  JOIN Bestellpositionen p ON p.BestellNr = b.BestellNr
  GROUP BY k.KundenNr;

-- The rows are generated, the same on every run. Each row draws its "random" numbers
-- u1 ... u8 in [0, 1) from a fixed hash of a row number, so that a first GROUP BY shows
-- realistic spreads: big towns with many customers, old customers ordering more often, more
-- orders towards the year's end and from year to year, small parts sold often and by the box.
CREATE TEMP TABLE Zufall(i INTEGER PRIMARY KEY, u1 REAL, u2 REAL, u3 REAL, u4 REAL, u5 REAL, u6 REAL, u7 REAL, u8 REAL);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 50000),
  a(i, x1, x2, x3, x4, x5, x6, x7, x8) AS (
    SELECT i, (i * 7919 + 17) % 1000003, (i * 6007 + 101) % 1000003, (i * 4099 + 7) % 1000003,
      (i * 3001 + 55) % 1000003, (i * 2053 + 3) % 1000003, (i * 1583 + 29) % 1000003,
      (i * 1031 + 71) % 1000003, (i * 9973 + 43) % 1000003 FROM n),
  b(i, x1, x2, x3, x4, x5, x6, x7, x8) AS (
    SELECT i, (x1 * x1 + 12345) % 1000003, (x2 * x2 + 23456) % 1000003, (x3 * x3 + 34567) % 1000003,
      (x4 * x4 + 45678) % 1000003, (x5 * x5 + 56789) % 1000003, (x6 * x6 + 67890) % 1000003,
      (x7 * x7 + 78901) % 1000003, (x8 * x8 + 89012) % 1000003 FROM a)
INSERT INTO Zufall
SELECT i, ((x1 * x1 + 999) % 1000003) / 1000003.0, ((x2 * x2 + 998) % 1000003) / 1000003.0,
  ((x3 * x3 + 997) % 1000003) / 1000003.0, ((x4 * x4 + 996) % 1000003) / 1000003.0,
  ((x5 * x5 + 995) % 1000003) / 1000003.0, ((x6 * x6 + 994) % 1000003) / 1000003.0,
  ((x7 * x7 + 993) % 1000003) / 1000003.0, ((x8 * x8 + 992) % 1000003) / 1000003.0
FROM b;

-- Places, each with its dialling code and a weight close to its population.
CREATE TEMP TABLE OrtWahl(OrtId INTEGER PRIMARY KEY, PLZ TEXT, Ort TEXT, Land TEXT, Vorwahl TEXT,
  Gewicht INTEGER, Von INTEGER, Bis INTEGER);
WITH w(i, plz, ort, land, vorwahl, gewicht) AS (VALUES
  (1,'10115','Berlin','Deutschland','030',370),(2,'20095','Hamburg','Deutschland','040',185),
  (3,'80331','München','Deutschland','089',150),(4,'50667','Köln','Deutschland','0221',110),
  (5,'60311','Frankfurt am Main','Deutschland','069',76),(6,'70173','Stuttgart','Deutschland','0711',63),
  (7,'40213','Düsseldorf','Deutschland','0211',62),(8,'04109','Leipzig','Deutschland','0341',60),
  (9,'44135','Dortmund','Deutschland','0231',59),(10,'45127','Essen','Deutschland','0201',58),
  (11,'28195','Bremen','Deutschland','0421',57),(12,'01067','Dresden','Deutschland','0351',56),
  (13,'30159','Hannover','Deutschland','0511',54),(14,'90402','Nürnberg','Deutschland','0911',52),
  (15,'47051','Duisburg','Deutschland','0203',50),(16,'44787','Bochum','Deutschland','0234',36),
  (17,'42103','Wuppertal','Deutschland','0202',35),(18,'33602','Bielefeld','Deutschland','0521',33),
  (19,'53111','Bonn','Deutschland','0228',33),(20,'48143','Münster','Deutschland','0251',32),
  (21,'76133','Karlsruhe','Deutschland','0721',31),(22,'68159','Mannheim','Deutschland','0621',31),
  (23,'86150','Augsburg','Deutschland','0821',30),(24,'65183','Wiesbaden','Deutschland','0611',28),
  (25,'24103','Kiel','Deutschland','0431',25),(26,'99084','Erfurt','Deutschland','0361',21),
  (27,'18055','Rostock','Deutschland','0381',21),(28,'66111','Saarbrücken','Deutschland','0681',18),
  (29,'93047','Regensburg','Deutschland','0941',15),(30,'79098','Freiburg im Breisgau','Deutschland','0761',23),
  (31,'1010','Wien','Österreich','+43 1',30),(32,'8001','Zürich','Schweiz','+41 44',14))
INSERT INTO OrtWahl
SELECT i, plz, ort, land, vorwahl, gewicht, SUM(gewicht) OVER (ORDER BY i) - gewicht,
  SUM(gewicht) OVER (ORDER BY i) FROM w;
INSERT INTO Orte(OrtId, PLZ, Ort, Land) SELECT OrtId, PLZ, Ort, Land FROM OrtWahl;

CREATE TEMP TABLE Nachnamen(i INTEGER PRIMARY KEY, n TEXT);
INSERT INTO Nachnamen(n) VALUES ('Müller'),('Schmidt'),('Schneider'),('Fischer'),('Weber'),
  ('Meyer'),('Wagner'),('Becker'),('Schulz'),('Hoffmann'),('Schäfer'),('Koch'),('Bauer'),
  ('Richter'),('Klein'),('Wolf'),('Schröder'),('Neumann'),('Schwarz'),('Zimmermann'),
  ('Braun'),('Krüger'),('Hofmann'),('Hartmann'),('Lange'),('Schmitt'),('Werner'),('Krause');
CREATE TEMP TABLE Vornamen(i INTEGER PRIMARY KEY, n TEXT);
INSERT INTO Vornamen(n) VALUES ('Anna'),('Lukas'),('Marie'),('Jonas'),('Sophie'),('Felix'),
  ('Lena'),('Paul'),('Hannah'),('Leon'),('Emma'),('Jürgen'),('Ursula'),('Klaus'),('Sabine'),
  ('Günther'),('Brigitte'),('Stefan'),('Petra'),('Thomas'),('Jörg'),('Renate');
CREATE TEMP TABLE Strassen(i INTEGER PRIMARY KEY, n TEXT);
INSERT INTO Strassen(n) VALUES ('Hauptstraße'),('Schulstraße'),('Gartenstraße'),('Bahnhofstraße'),
  ('Dorfstraße'),('Bergstraße'),('Birkenweg'),('Lindenstraße'),('Kirchstraße'),('Waldstraße'),
  ('Ringstraße'),('Schillerstraße'),('Goethestraße'),('Am Markt'),('Mühlenweg');

-- Customer numbers follow the order in which customers came, from 2008 to autumn 2024, more of
-- them each year (the day is 1.6t - 0.6t² of the span, t the number's share).
INSERT INTO Kunden(KundenNr, Name, Vorname, Strasse, OrtId, Telefon, KundeSeit)
SELECT z.i,
  (SELECT n FROM Nachnamen WHERE Nachnamen.i = 1 + CAST(z.u1 * 28 AS INTEGER)),
  CASE WHEN z.u7 < 0.04 THEN NULL
       ELSE (SELECT n FROM Vornamen WHERE Vornamen.i = 1 + CAST(z.u2 * 22 AS INTEGER)) END,
  (SELECT n FROM Strassen WHERE Strassen.i = 1 + CAST(z.u3 * 15 AS INTEGER)) || ' ' ||
    (1 + CAST(z.u4 * z.u4 * 120 AS INTEGER)),
  o.OrtId,
  CASE WHEN z.u6 < 0.25 THEN NULL ELSE o.Vorwahl || ' ' || (200000 + CAST(z.u6 * 7999999 AS INTEGER)) END,
  date('2008-01-01', '+' || CAST(6100 * (1.6 * z.t - 0.6 * z.t * z.t) AS INTEGER) || ' days')
FROM (SELECT *, (i - 1 + u8) / 1500.0 AS t FROM Zufall WHERE i <= 1500) z
JOIN OrtWahl o ON CAST(z.u5 * (SELECT MAX(Bis) FROM OrtWahl) AS INTEGER) >= o.Von
              AND CAST(z.u5 * (SELECT MAX(Bis) FROM OrtWahl) AS INTEGER) < o.Bis;

-- Ten kinds of part in six makes; a price per piece from the kind, the make and a little noise.
WITH art(k, b, preis) AS (VALUES (0,'Schraube',0.12),(1,'Mutter',0.08),(2,'Dübel',0.15),
    (3,'Winkel',2.40),(4,'Scharnier',6.90),(5,'Haken',0.95),(6,'Kabelbinder',0.05),
    (7,'Klemme',0.65),(8,'Dichtung',0.35),(9,'Feder',0.80)),
  gr(g, t, faktor) AS (VALUES (0,' M4',1.0),(1,' M6',1.4),(2,' M8',2.0),(3,' Edelstahl',2.6),
    (4,' verzinkt',1.3),(5,' groß',3.0))
INSERT INTO Artikel(ArtikelNr, Bezeichnung, Einzelpreis)
SELECT z.i, art.b || gr.t, MAX(0.05, round(art.preis * gr.faktor * (0.85 + 0.3 * z.u1), 2))
FROM Zufall z JOIN art ON art.k = (z.i - 1) % 10 JOIN gr ON gr.g = (z.i - 1) / 10
WHERE z.i <= 60;

-- 6000 orders from 2022 to 2024: old customers order more often (the customer is u1² of the
-- list), orders grow from year to year and one in six falls into November or December.
CREATE TEMP TABLE Auftrag(i INTEGER PRIMARY KEY, KundenNr INTEGER, Datum TEXT);
INSERT INTO Auftrag(i, KundenNr, Datum)
SELECT z.i, k.KundenNr,
  min('2024-12-31', max(k.KundeSeit,
    CASE WHEN z.u3 < 0.16
         THEN date((2022 + CAST(z.u4 * 3 AS INTEGER)) || '-11-01', '+' || CAST(z.u5 * 61 AS INTEGER) || ' days')
         ELSE date('2022-01-01', '+' || CAST(1096 * (1.4 * z.u2 - 0.4 * z.u2 * z.u2) AS INTEGER) || ' days') END))
FROM (SELECT i - 2000 AS i, u1, u2, u3, u4, u5 FROM Zufall WHERE i BETWEEN 2001 AND 8000) z
JOIN Kunden k ON k.KundenNr = 1 + CAST(z.u1 * z.u1 * 1500 AS INTEGER)
WHERE k.KundeSeit <= '2024-12-31';
INSERT INTO Bestellungen(BestellNr, KundenNr, Bestelldatum, Versandt)
SELECT 100000 + ROW_NUMBER() OVER (ORDER BY Datum, i), KundenNr, Datum, Datum <= '2024-12-20'
FROM Auftrag ORDER BY Datum, i;

-- One to six lines an order, mostly one or two; the popular parts come first in the list;
-- most lines take a few pieces, some a box of 25 to 200. Prices were lower in earlier years.
WITH p(n) AS (VALUES (1),(2),(3),(4),(5),(6)),
  zeile(BestellNr, Position, Datum, r) AS (
    SELECT b.BestellNr, p.n, b.Bestelldatum, 10000 + (b.BestellNr - 100000) * 6 + p.n
    FROM Bestellungen b
    JOIN Zufall z ON z.i = b.BestellNr - 100000 + 8000
    JOIN p ON p.n <= 1 + CAST(z.u6 * z.u6 * 6 AS INTEGER))
INSERT INTO Bestellpositionen(BestellNr, Position, ArtikelNr, Menge, Einzelpreis)
SELECT zeile.BestellNr, zeile.Position, a.ArtikelNr,
  CASE WHEN z.u2 < 0.55 THEN 1 + CAST(z.u3 * 5 AS INTEGER)
       WHEN z.u2 < 0.85 THEN 6 + CAST(z.u3 * 15 AS INTEGER)
       ELSE 25 * (1 << CAST(z.u3 * 4 AS INTEGER)) END,
  round(a.Einzelpreis * CASE substr(zeile.Datum, 1, 4) WHEN '2022' THEN 0.92 WHEN '2023' THEN 0.96 ELSE 1 END, 2)
FROM zeile JOIN Zufall z ON z.i = zeile.r
JOIN Artikel a ON a.ArtikelNr = 1 + CAST(z.u1 * z.u1 * 60 AS INTEGER);
COMMIT;
