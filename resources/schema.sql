-- Tables of the station's database. The build runs this file, then the
-- default rows, into a new vantoro.db beside the program.

create table sysset (
  id integer primary key,
  comport integer,
  ComSettings varchar(50),
  BeepFreq integer,
  hisdatakeephours integer,
  HisDataSamplePeriod integer,
  httpport integer,
  HttpServerEnabled integer,
  PauseSeconds real,
  retrytimes integer,
  Soundenabled integer,
  TimeOut real,
  Userfname varchar(100),
  MailAddr varchar(100),
  MailEnabled integer,
  MailServeraddr varchar(100),
  Mmfileurl varchar(255),
  mobilephone varchar(50),
  username varchar(50),
  userPass varchar(50),
  userpass2 varchar(50),
  usertelephone varchar(50),
  usesoundcard integer,
  viewmode varchar(10),
  AutoShutDown integer,
  DEVPOWER varchar(50) null,
  MailSender varchar(100) default '',
  MailUser varchar(100) default '',
  MailPassword varchar(100) default '',
  MailSecurity integer default 0,
  StandbyPercent real default 1,
  LineAddress varchar(255) default '',
  SummaryTime varchar(5) default '21:00',
  SummaryMail integer default 0,
  SummaryNotice integer default 0
);

create table devices (
  id varchar(10) primary key,
  devname varchar(50),
  devaddr integer,
  DEVPOWER varchar(50) null,
  TOTALPOWER varchar(15) null,
  DEVCOMVERSION varchar(25) null,
  enabled integer not null default 1
);

create table paraset (
  DEVID varchar(10),
  PARAID integer,
  PARACODE varchar(20),
  PARANAME varchar(50),
  ENABLED integer,
  PARAVALUE varchar(255),
  MULTIPLE real,
  UNIT varchar(20),
  RANGEL real,
  RANGEU real,
  BOUNDL real,
  BOUNDU real,
  ISSTRING integer,
  SRCSTRING varchar(100),
  OKSTRING varchar(100),
  FOUNDERROR integer,
  DEVPART integer,
  WARNINGENABLED integer,
  UPDATED integer,
  UPDATETIME varchar(19),
  MMFILEURL varchar(255),
  DATAFORMAT varchar(50)
);

create table eventlog (
  devid varchar(10),
  eventname varchar(255),
  logtime varchar(19),
  mailsent integer
);

create index ix_eventlog_logtime on eventlog(logtime);

-- History: samples keyed by device number and time (seconds since the
-- epoch), every parameter slot in thousandths (integers where they are
-- exact, so SQLite packs them small); the slots' names when recorded; the
-- daily yield.
create table histdata (
  dev integer not null,
  t integer not null,
  v0 integer,
  v1 integer,
  v2 integer,
  v3 integer,
  v4 integer,
  v5 integer,
  v6 integer,
  v7 integer,
  v8 integer,
  v9 integer,
  v10 integer,
  v11 integer,
  v12 integer,
  v13 integer,
  primary key (dev, t)
) without rowid;

-- Per device and 30 minutes (b, the bucket's start): first and last sample
-- time, the number of samples and every slot's minimum, maximum, sum and
-- count of values (the sum over the count is the mean), for long views.
create table histrollup (
  dev integer not null,
  b integer not null,
  t0 integer not null,
  t1 integer not null,
  c integer not null,
  n0 integer,
  x0 integer,
  s0 integer,
  k0 integer not null default 0,
  n1 integer,
  x1 integer,
  s1 integer,
  k1 integer not null default 0,
  n2 integer,
  x2 integer,
  s2 integer,
  k2 integer not null default 0,
  n3 integer,
  x3 integer,
  s3 integer,
  k3 integer not null default 0,
  n4 integer,
  x4 integer,
  s4 integer,
  k4 integer not null default 0,
  n5 integer,
  x5 integer,
  s5 integer,
  k5 integer not null default 0,
  n6 integer,
  x6 integer,
  s6 integer,
  k6 integer not null default 0,
  n7 integer,
  x7 integer,
  s7 integer,
  k7 integer not null default 0,
  n8 integer,
  x8 integer,
  s8 integer,
  k8 integer not null default 0,
  n9 integer,
  x9 integer,
  s9 integer,
  k9 integer not null default 0,
  n10 integer,
  x10 integer,
  s10 integer,
  k10 integer not null default 0,
  n11 integer,
  x11 integer,
  s11 integer,
  k11 integer not null default 0,
  n12 integer,
  x12 integer,
  s12 integer,
  k12 integer not null default 0,
  n13 integer,
  x13 integer,
  s13 integer,
  k13 integer not null default 0,
  primary key (dev, b)
) without rowid;

create table histparam (
  paraid integer primary key,
  paracode text,
  paraname text,
  unit text
);

create table histyield (
  devid text not null,
  day text not null,
  energy real not null default 0,
  flagged integer not null default 0,
  peakpower real,
  peaktime integer,
  maxtmod real,
  linkseconds integer not null default 0,
  faults integer not null default 0,
  firstcounter real,
  lastcounter real,
  lastreply integer,
  asleepseconds integer not null default 0,
  lostseconds integer not null default 0,
  primary key (devid, day)
) without rowid;
-- MQTT publishing, one row; a null column takes the station's default.
create table mqttset (id integer primary key, enabled integer, host varchar(255), port integer, tls integer, cafile varchar(255), username varchar(255), password varchar(255), clientid varchar(255), basetopic varchar(255), discovery integer, discoveryprefix varchar(255), manufacturer varchar(255));
insert into mqttset (id) values (1);
-- Notices: the channels' URLs, and which event each channel accepted.
create table noticeurls (id integer primary key autoincrement, url text not null, added varchar(19) not null);
create table noticesent (eventrow integer not null, logtime varchar(19) not null, channel integer not null, state integer not null, primary key (channel, eventrow)) without rowid;
-- The daily summary: the last day each receiver (mail, or a notice channel) accepted.
create table summarysent (receiver text primary key, day text not null, senttime varchar(19) not null) without rowid;
